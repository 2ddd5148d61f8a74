#include "platform/sys/sys.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace sys {

namespace {

std::string Trim(const std::string& s) {
    const char* ws = " \t\n\v\f\r";
    size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos) {
        return {};
    }
    size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string RegistryFile() {
    if (const char* env = std::getenv("STILLO_REGISTRY"); env && *env) {
        return env;
    }
    return ExecutableFolder() + "registry.ini";
}

} // namespace

bool ReadRegistryValueFrom(const std::string& file, const std::string& key, const std::string& name,
                           std::string& value) {
    // Only a regular file is read: a FIFO would block start-up for ever, a device could be
    // endless.
    if (!IsRegularFile(file)) {
        return false;
    }
    std::ifstream in(file);
    if (!in) {
        return false;
    }
    std::string line;
    bool inKey = false;
    while (std::getline(in, line)) {
        std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#') {
            continue;
        }
        if (t.front() == '[' && t.back() == ']') {
            inKey = Trim(t.substr(1, t.size() - 2)) == key;
            continue;
        }
        if (!inKey) {
            continue;
        }
        size_t eq = t.find('=');
        if (eq == std::string::npos) {
            continue;
        }
        // An empty name ("=value" or "@=value") stands for the key's default value.
        std::string n = Trim(t.substr(0, eq));
        if (n == "@") {
            n.clear();
        }
        if (n == name) {
            value = Trim(t.substr(eq + 1));
            return true;
        }
    }
    return false;
}

bool ReadRegistryValue(const std::string& key, const std::string& name, std::string& value) {
    return ReadRegistryValueFrom(RegistryFile(), key, name, value);
}

std::string ExecutableFolder() {
    std::vector<char> buf(4096);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
        return "./";
    }
    std::string path(buf.data(), static_cast<size_t>(n));
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string InstallFolder() {
    if (const char* env = std::getenv("STILLO_PATH"); env && *env) {
        return WithSlash(env);
    }
    std::string value;
    if (ReadRegistryValue("STILLO01_00013", "PATH", value) && !value.empty()) {
        return WithSlash(value);
    }
    return ExecutableFolder();
}

std::string BrowserCommand() {
    std::string value;
    if (ReadRegistryValue("Applications\\iexplore.exe\\shell\\open\\command", "", value) &&
        !value.empty()) {
        return value;
    }
    return "xdg-open";
}

bool FindOnPath(const std::string& program, std::string* fullPath) {
    if (program.empty()) {
        return false;
    }
    auto executable = [](const std::string& p) {
        return IsRegularFile(p) && ::access(p.c_str(), X_OK) == 0;
    };
    if (program.find('/') != std::string::npos) {
        if (!executable(program)) {
            return false;
        }
        if (fullPath) {
            *fullPath = program;
        }
        return true;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) {
            end = dirs.size();
        }
        std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            std::string candidate = WithSlash(dir) + program;
            if (executable(candidate)) {
                if (fullPath) {
                    *fullPath = candidate;
                }
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}

bool StartProcess(const std::string& program, const std::vector<std::string>& args) {
    std::string full;
    if (!FindOnPath(program, &full)) {
        return false;
    }
    std::vector<std::string> storage;
    storage.reserve(args.size() + 1);
    storage.push_back(program);
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : storage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawn(&pid, full.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    // Reap the child whenever it ends, without making the caller wait.
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

std::string SoundPlayer::Player() {
    for (const char* p : {"paplay", "aplay", "pw-play"}) {
        if (FindOnPath(p)) {
            return p;
        }
    }
    return {};
}

bool SoundPlayer::PlayFile(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    if (!IsRegularFile(path)) {
        return false;
    }
    std::string player = Player();
    if (player.empty()) {
        return false;
    }
    if (player == "aplay") {
        return StartProcess(player, {"-q", path});
    }
    return StartProcess(player, {path});
}

} // namespace sys
