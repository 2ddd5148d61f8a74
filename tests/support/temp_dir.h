// Temporary folders for tests and benchmarks: each one made anew under the system's temporary
// folder with a name no other process has, and removed with all it holds when it goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace stillo_test {

class TempDir {
public:
    // A folder named prefix-XXXXXX; Path() is empty when none could be made.
    explicit TempDir(const std::string& prefix = "stillo") {
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / (prefix + "-XXXXXX"));
        if (!ec && ::mkdtemp(pattern.data())) {
            m_path = pattern;
        }
    }
    ~TempDir() {
        if (!m_path.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_path, ec);
        }
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The path of a file in the folder.
    std::string File(const std::string& name) const { return (m_path / name).string(); }
    // The folder with a trailing '/', as an installation folder is given.
    std::string WithSlash() const { return m_path.string() + "/"; }

private:
    std::filesystem::path m_path;
};

// One folder for the whole process, made at its first use and removed at exit: the videos a
// suite writes once and every test of it reads.
inline const TempDir& ProcessTempDir() {
    static const TempDir dir("stillo-test");
    return dir;
}

} // namespace stillo_test
