// Reads a fuzz input as a sequence of choices: numbers in ranges, flags, raw bytes. An input
// that runs out gives zeros, so every input, however short, is a complete case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v = v << 8 | Byte();
        }
        return v;
    }
    int32_t I32() { return static_cast<int32_t>(U32()); }
    // A number in lo .. hi (hi >= lo).
    int Range(int lo, int hi) {
        const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
        return static_cast<int>(lo + static_cast<int64_t>(U32() % span));
    }
    bool Flag() { return (Byte() & 1) != 0; }
    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    // The next n bytes (zeros past the end).
    std::vector<uint8_t> Bytes(size_t n) {
        std::vector<uint8_t> out(n, 0);
        const size_t have = m_pos < m_size ? std::min(n, m_size - m_pos) : 0;
        if (have > 0) {
            std::memcpy(out.data(), m_data + m_pos, have);
        }
        m_pos += have;
        return out;
    }
    // What is left.
    std::vector<uint8_t> Rest() { return Bytes(m_pos < m_size ? m_size - m_pos : 0); }
    size_t Remaining() const { return m_pos < m_size ? m_size - m_pos : 0; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Ends the run with a message when an expectation of the target fails: the fuzzer keeps the
// input that did it.
void Expect(bool holds, const char* what);

// A file of this process's own for inputs that must be read from disk.
std::string ScratchFile(const char* name);
// Writes the bytes to the file; false when that failed.
bool WriteFile(const std::string& path, const uint8_t* data, size_t size);

} // namespace fuzz

// Each target's entry, as libFuzzer calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
