// The registry stand-in: the input is the file. Reading any value of it never fails in a way
// but "not found", and a value found is one trimmed line.
#include "platform/sys/sys.h"
#include "tests/fuzz/fuzz_input.h"

#include <cctype>
#include <cstdio>

namespace {

bool Trimmed(const std::string& v) {
    auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    return v.empty() || (!space(v.front()) && !space(v.back()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::ScratchFile("registry.ini");
    if (!fuzz::WriteFile(path, data, size)) {
        return 0;
    }
    // The program's own keys, and one named by the input's first line.
    std::string first(reinterpret_cast<const char*>(data), size);
    first = first.substr(0, first.find('\n'));
    const std::pair<std::string, std::string> lookups[] = {
        {"STILLO01_00013", "PATH"},
        {"Applications\\iexplore.exe\\shell\\open\\command", ""},
        {first, first},
    };
    for (const auto& [key, name] : lookups) {
        std::string value = "unchanged";
        const bool found = sys::ReadRegistryValueFrom(path, key, name, value);
        fuzz::Expect(!found || (Trimmed(value) && value.find('\n') == std::string::npos),
                     "a value found is one trimmed line");
        fuzz::Expect(found || value == "unchanged", "a value not found leaves the output alone");
    }
    std::remove(path.c_str());
    return 0;
}
