#include "tests/fuzz/fuzz_input.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fuzz {

void Expect(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz target expectation failed: %s\n", what);
        std::abort();
    }
}

std::string ScratchFile(const char* name) {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    return (dir / ("stillo-fuzz-" + std::to_string(::getpid()) + "-" + name)).string();
}

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

} // namespace fuzz
