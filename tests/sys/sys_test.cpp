#include "platform/sys/sys.h"
#include "tests/support/temp_dir.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// A file of its own in the suite's temporary folder, holding text.
std::string TempFile(const std::string& text) {
    static int made = 0;
    const std::string name = stillo_test::ProcessTempDir().File("file-" + std::to_string(++made));
    std::ofstream(name) << text;
    return name;
}

} // namespace

TEST(Registry, ReadsValuesByKeyAndName) {
    std::string file = TempFile("[Other]\nPATH=/wrong\n"
                                "[STILLO01_00013]\n ; comment\nPATH = /opt/stillo \n"
                                "[Applications\\iexplore.exe\\shell\\open\\command]\n"
                                "@=firefox\n");
    std::string v;
    ASSERT_TRUE(sys::ReadRegistryValueFrom(file, "STILLO01_00013", "PATH", v));
    EXPECT_EQ(v, "/opt/stillo");
    ASSERT_TRUE(sys::ReadRegistryValueFrom(file, "Applications\\iexplore.exe\\shell\\open\\command",
                                           "", v));
    EXPECT_EQ(v, "firefox");
    EXPECT_FALSE(sys::ReadRegistryValueFrom(file, "STILLO01_00013", "NOPE", v));
    EXPECT_FALSE(sys::ReadRegistryValueFrom(file + ".missing", "STILLO01_00013", "PATH", v));
    std::remove(file.c_str());
}

// A registry file that is a FIFO, a device or a folder is never read: start-up goes on at once
// with the folder it falls back to.
TEST(Registry, NonRegularFilesAreNotRead) {
    const std::string fifo = stillo_test::ProcessTempDir().File("registry.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = stillo_test::ProcessTempDir().Path().string();
    for (const std::string& file : {fifo, std::string("/dev/zero"), folder}) {
        ::setenv("STILLO_REGISTRY", file.c_str(), 1);
        auto folderFound = std::async(std::launch::async, [] { return sys::InstallFolder(); });
        if (folderFound.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
            // Let a reader blocked on the FIFO go, so the failure ends the test.
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
            ADD_FAILURE() << file << " blocked the reader";
            folderFound.get();
            ::unsetenv("STILLO_REGISTRY");
            return;
        }
        EXPECT_EQ(folderFound.get(), sys::ExecutableFolder()) << file;
        std::string v;
        EXPECT_FALSE(sys::ReadRegistryValueFrom(file, "STILLO01_00013", "PATH", v)) << file;
    }
    ::unsetenv("STILLO_REGISTRY");
}

TEST(Registry, InstallFolderIsAlwaysDefined) {
    // Environment override first, then the registry file, then the executable's folder.
    std::string file = TempFile("[STILLO01_00013]\nPATH=/opt/from-registry\n");
    ::setenv("STILLO_REGISTRY", file.c_str(), 1);
    ::setenv("STILLO_PATH", "/opt/from-env", 1);
    EXPECT_EQ(sys::InstallFolder(), "/opt/from-env/");
    ::unsetenv("STILLO_PATH");
    EXPECT_EQ(sys::InstallFolder(), "/opt/from-registry/");
    ::setenv("STILLO_REGISTRY", "/nonexistent/registry.ini", 1);
    std::string exeDir = sys::ExecutableFolder();
    EXPECT_EQ(sys::InstallFolder(), exeDir);
    ASSERT_FALSE(exeDir.empty());
    EXPECT_EQ(exeDir.back(), '/');
    EXPECT_EQ(::access((exeDir + "sys_tests").c_str(), F_OK), 0);
    EXPECT_EQ(sys::BrowserCommand(), "xdg-open");
    ::unsetenv("STILLO_REGISTRY");
    std::remove(file.c_str());
}

TEST(Processes, StartsWithoutWaiting) {
    const std::string go = stillo_test::ProcessTempDir().File("go");
    const std::string marker = stillo_test::ProcessTempDir().File("started");
    std::remove(go.c_str());
    std::remove(marker.c_str());
    // The child goes on only once the file the test writes after the call returned is there;
    // it gives up after half a minute, so a start that waited for it leaves no marker.
    ASSERT_TRUE(sys::StartProcess("sh", {"-c", "i=0; while [ ! -e " + go +
                                                   " ] && [ $i -lt 3000 ]; do sleep 0.01; "
                                                   "i=$((i+1)); done; [ -e " +
                                                   go + " ] && touch " + marker}));
    std::ofstream(go) << "go";
    for (int i = 0; i < 60000 && ::access(marker.c_str(), F_OK) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(::access(marker.c_str(), F_OK), 0);
    std::remove(go.c_str());
    std::remove(marker.c_str());
    EXPECT_FALSE(sys::StartProcess("no-such-program-stillo", {}));
}

TEST(Sound, MissingFileOrNoPlayerStartsNothing) {
    EXPECT_FALSE(sys::SoundPlayer::PlayFile(""));
    EXPECT_FALSE(sys::SoundPlayer::PlayFile("/nonexistent/click.wav"));
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", "/nonexistent", 1);
    std::string file = TempFile("RIFF");
    EXPECT_EQ(sys::SoundPlayer::Player(), "");
    EXPECT_FALSE(sys::SoundPlayer::PlayFile(file));
    ::setenv("PATH", oldPath.c_str(), 1);
    std::remove(file.c_str());
}
