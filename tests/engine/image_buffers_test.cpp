// Row-pointer images and the canvas mutex.
#include "engine/canvas_mutex.h"
#include "engine/image.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

TEST(ImageBuffers, AllocationAndRelease) {
    IMAGE2D image = AllocImage2D(7, 13);
    ASSERT_NE(image, nullptr);
    for (int r = 0; r < 7; ++r) {
        for (int k = 0; k < 13; ++k) {
            ASSERT_EQ(image[r][k], 0);
        }
    }
    FreeImage2D(image, 7);
    FreeImage2D(nullptr, 5); // nothing happens
    EXPECT_EQ(AllocImage2D(0, 10), nullptr);
    EXPECT_EQ(AllocImage2D(3, 0), nullptr);

    int32_t** ints = AllocArray2DInt(4, 9);
    ASSERT_NE(ints, nullptr);
    ints[3][8] = -5;
    EXPECT_EQ(ints[0][0], 0);
    FreeArray2DInt(ints, 4);
    int16_t** shorts = AllocArray2DShort(2, 3);
    ASSERT_NE(shorts, nullptr);
    shorts[1][2] = 7;
    FreeArray2DInt(shorts, 2);
}

TEST(ImageBuffers, CanvasMutexIsRecursiveAndTriesWithoutWaiting) {
    // Whether a try on another thread, without waiting, gets the mutex.
    auto otherThreadGetsIt = [] {
        bool got = false;
        std::thread other([&] {
            got = g_hCanvasMutex.try_lock();
            if (got) {
                g_hCanvasMutex.unlock();
            }
        });
        other.join();
        return got;
    };
    std::unique_lock<std::recursive_mutex> outer(g_hCanvasMutex);
    EXPECT_TRUE(g_hCanvasMutex.try_lock()); // same thread takes it again
    g_hCanvasMutex.unlock();
    EXPECT_FALSE(otherThreadGetsIt());
    outer.unlock();
    // Given back by its holder, another thread takes it.
    EXPECT_TRUE(otherThreadGetsIt());
}
