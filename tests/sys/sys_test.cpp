#include "platform/sys/sys.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace {

std::string TempFile(const std::string& text) {
    char name[] = "/tmp/stillo-sys-XXXXXX";
    int fd = ::mkstemp(name);
    EXPECT_GE(fd, 0);
    ::close(fd);
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

TEST(KernelObjects, RecursiveMutexZeroTimeoutTry) {
    sys::RecursiveMutex m;
    m.Lock();
    EXPECT_TRUE(m.TryLock()); // same thread may take it again
    std::atomic<int> otherGot{-1};
    std::thread([&] { otherGot = m.TryLock() ? 1 : 0; }).join();
    EXPECT_EQ(otherGot, 0);
    m.Unlock();
    m.Unlock();
    std::thread([&] {
        otherGot = m.TryLock() ? 1 : 0;
        if (otherGot) {
            m.Unlock();
        }
    }).join();
    EXPECT_EQ(otherGot, 1);
}

TEST(KernelObjects, StopSemaphoreCountsToItsMaximumOnly) {
    sys::Semaphore s(0, 1);
    EXPECT_FALSE(s.Wait()); // count 0: a zero time-out wait fails at once
    EXPECT_TRUE(s.Release());
    EXPECT_FALSE(s.Release()); // beyond the maximum: nothing changes
    EXPECT_EQ(s.Count(), 1);
    EXPECT_TRUE(s.Wait());
    EXPECT_FALSE(s.Wait());
    EXPECT_FALSE(s.Release(0));
    EXPECT_EQ(s.Count(), 0);

    std::thread t([&] {
        sys::Sleep(20);
        s.Release();
    });
    EXPECT_TRUE(s.Wait(std::chrono::milliseconds(2000)));
    t.join();
}

TEST(Time, TickCountAdvancesWithSleep) {
    uint32_t a = sys::TickCount();
    sys::Sleep(30);
    uint32_t b = sys::TickCount();
    EXPECT_GE(static_cast<uint32_t>(b - a), 29u);
    EXPECT_LT(static_cast<uint32_t>(b - a), 5000u);
}

TEST(Processes, StartsWithoutWaiting) {
    std::string marker = "/tmp/stillo-sys-started-" + std::to_string(::getpid());
    std::remove(marker.c_str());
    uint32_t t0 = sys::TickCount();
    ASSERT_TRUE(sys::StartProcess("sh", {"-c", "sleep 0.3; touch " + marker}));
    EXPECT_LT(sys::TickCount() - t0, 250u); // returned before the child finished
    for (int i = 0; i < 300 && ::access(marker.c_str(), F_OK) != 0; ++i) {
        sys::Sleep(10);
    }
    EXPECT_EQ(::access(marker.c_str(), F_OK), 0);
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
