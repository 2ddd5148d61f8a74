// Runs a fuzz target once over every file it is given, or every file of every folder it is
// given (a seed corpus, the reproducers of faults found): a regression fails as the fuzzer
// would have failed, under the same sanitizers. Succeeds when every input ran and at least one
// did.
#include "tests/fuzz/fuzz_input.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

bool Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path arg = argv[i];
        std::error_code ec;
        if (std::filesystem::is_directory(arg, ec)) {
            for (const auto& entry : std::filesystem::directory_iterator(arg, ec)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else {
            files.push_back(arg);
        }
    }
    std::sort(files.begin(), files.end());
    int ran = 0;
    for (const auto& file : files) {
        if (!Replay(file)) {
            return 1;
        }
        ++ran;
    }
    std::fprintf(stderr, "replayed %d inputs\n", ran);
    return ran > 0 ? 0 : 1;
}
