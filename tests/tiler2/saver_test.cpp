// The saving library: JPEG output of a canvas box, its refusals and its exports.
#include "tests/support/temp_dir.h"
#include "tiler2/SaverApp.h"

#include <gtest/gtest.h>

#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Rgb = std::array<int, 3>;

// A canvas record over its own rows, stored bottom-up like the engine's.
struct TestCanvas {
    MOSAIC_PARAMS p{};
    std::vector<std::vector<uint8_t>> storage;
    std::vector<uint8_t*> pointers;

    TestCanvas(int rows, int cols, int bytesPerPixel = 3, bool inRowsB = false) {
        p.nRows = rows;
        p.nCols = cols;
        p.nTop = -rows / 2;
        p.nBottom = p.nTop + rows - 1;
        p.nLeft = -7;
        p.nRight = p.nLeft + cols - 1;
        p.nBytesPerPixel = bytesPerPixel;
        storage.assign(rows, std::vector<uint8_t>(static_cast<size_t>(cols) * bytesPerPixel));
        for (auto& row : storage) {
            pointers.push_back(row.data());
        }
        // The stale buffer is never read: make it unusable.
        p.bRowsACurrent = inRowsB ? 0 : 1;
        p.bRowsBCurrent = inRowsB ? 1 : 0;
        (inRowsB ? p.ppRowsB : p.ppRowsA) = pointers.data();
    }
    // Pixel at column x, row y counted from the picture's top.
    uint8_t* FromTop(int x, int y) {
        return storage[p.nRows - 1 - y].data() + static_cast<size_t>(x) * p.nBytesPerPixel;
    }
    void Fill(Rgb (*colour)(int x, int y)) {
        for (int y = 0; y < p.nRows; ++y) {
            for (int x = 0; x < p.nCols; ++x) {
                const Rgb c = colour(x, y);
                uint8_t* px = FromTop(x, y);
                for (int i = 0; i < 3; ++i) {
                    px[i] = static_cast<uint8_t>(c[i]);
                }
            }
        }
    }
};

struct Decoded {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    Rgb At(int x, int y) const {
        const uint8_t* px = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
        return {px[0], px[1], px[2]};
    }
};

Decoded Decode(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    Decoded out;
    if (bytes.empty()) {
        return out;
    }
    jpeg_decompress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), bytes.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    out.rgb.resize(static_cast<size_t>(out.width) * out.height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.rgb.data() + static_cast<size_t>(info.output_scanline) * out.width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return out;
}

void ExpectNear(const Rgb& got, const Rgb& want, const char* where) {
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(got[i], want[i], 12) << where << " channel " << i;
    }
}

// Four flat quadrants: every corner has its own colour.
Rgb Quadrants(int x, int y) {
    const bool right = x >= 40;
    const bool bottom = y >= 30;
    if (!bottom) {
        return right ? Rgb{20, 200, 30} : Rgb{220, 40, 40};
    }
    return right ? Rgb{240, 240, 40} : Rgb{30, 40, 210};
}

class SaverTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(temp.Path().empty()); }
    std::string PathOf(const char* name) { return temp.File(name); }

    CSaverApp saver;
    const stillo_test::TempDir temp{"tiler2-test"};
    const fs::path& dir = temp.Path();
};

} // namespace

TEST_F(SaverTest, WholeCanvasGivesEveryColumnAndRowTopRowFirst) {
    TestCanvas canvas(60, 80, 3, /*inRowsB=*/true);
    canvas.Fill(Quadrants);
    const std::vector<std::vector<uint8_t>> before = canvas.storage;
    std::string path = PathOf("whole.jpg");
    // An inclusive box over the whole canvas arrives as right - left and bottom - top.
    ASSERT_NE(saver.Save(&canvas.p, 0, 0, 79, 59, 90, path.data()), 0);
    const Decoded image = Decode(path);
    ASSERT_EQ(image.width, 80);
    ASSERT_EQ(image.height, 60);
    ExpectNear(image.At(5, 5), Quadrants(5, 5), "top left");
    ExpectNear(image.At(74, 5), Quadrants(74, 5), "top right");
    ExpectNear(image.At(5, 54), Quadrants(5, 54), "bottom left");
    ExpectNear(image.At(74, 54), Quadrants(74, 54), "bottom right");
    EXPECT_EQ(canvas.storage, before);
}

TEST_F(SaverTest, BoxesAreCutFromTheTopAndClippedToTheCanvas) {
    TestCanvas canvas(60, 80);
    canvas.Fill(Quadrants);
    std::string path = PathOf("box.jpg");

    ASSERT_NE(saver.Save(&canvas.p, 60, 45, 0, 0, 90, path.data()), 0);
    Decoded one = Decode(path);
    ASSERT_EQ(one.width, 1);
    ASSERT_EQ(one.height, 1);
    ExpectNear(one.At(0, 0), Quadrants(60, 45), "one pixel");

    // The box reaches past the right and bottom edges: it keeps the canvas's part.
    ASSERT_NE(saver.Save(&canvas.p, 64, 44, 100, 100, 90, path.data()), 0);
    Decoded clipped = Decode(path);
    EXPECT_EQ(clipped.width, 16);
    EXPECT_EQ(clipped.height, 16);
    ExpectNear(clipped.At(8, 8), Quadrants(72, 52), "clipped");

    // And past the left and top edges.
    ASSERT_NE(saver.Save(&canvas.p, -5, -3, 24, 12, 90, path.data()), 0);
    Decoded corner = Decode(path);
    EXPECT_EQ(corner.width, 20);
    EXPECT_EQ(corner.height, 10);
    ExpectNear(corner.At(10, 5), Quadrants(10, 5), "corner");
}

TEST_F(SaverTest, SixteenBitCanvasFieldsBecomeFullColours) {
    TestCanvas canvas(16, 16, 2);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const uint16_t word = y < 8 ? 0x0F00 : 0x00F0; // red on top, green below
            canvas.FromTop(x, y)[0] = static_cast<uint8_t>(word & 0xFF);
            canvas.FromTop(x, y)[1] = static_cast<uint8_t>(word >> 8);
        }
    }
    std::string path = PathOf("sixteen.jpg");
    ASSERT_NE(saver.Save(&canvas.p, 0, 0, 15, 15, 95, path.data()), 0);
    const Decoded image = Decode(path);
    ASSERT_EQ(image.width, 16);
    ExpectNear(image.At(4, 2), {255, 0, 0}, "red");
    ExpectNear(image.At(4, 13), {0, 255, 0}, "green");
}

TEST_F(SaverTest, QualityShapesTheFile) {
    // Grey noise, which no colour subsampling blurs: at quality 100 its file takes several
    // rounds of output buffer and still decodes to the canvas within a level or two.
    TestCanvas canvas(300, 280);
    std::mt19937 rng(3);
    for (auto& row : canvas.storage) {
        for (size_t x = 0; x < row.size(); x += 3) {
            row[x] = row[x + 1] = row[x + 2] = static_cast<uint8_t>(rng());
        }
    }
    std::string low = PathOf("low.jpg");
    std::string high = PathOf("high.jpg");
    ASSERT_NE(saver.Save(&canvas.p, 0, 0, 279, 299, 0, low.data()), 0);
    ASSERT_NE(saver.Save(&canvas.p, 0, 0, 279, 299, 100, high.data()), 0);
    EXPECT_LT(fs::file_size(low) * 4, fs::file_size(high));
    ASSERT_GT(fs::file_size(high), 2u << 16); // past 64 KiB, and past twice that
    const Decoded image = Decode(high);
    ASSERT_EQ(image.width, 280);
    ASSERT_EQ(image.height, 300);
    double error = 0;
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 280; ++x) {
            error += std::abs(image.At(x, y)[1] - canvas.FromTop(x, y)[1]);
        }
    }
    EXPECT_LT(error / (300 * 280), 2.0);
}

TEST_F(SaverTest, UnusableInputsAreRefusedAndWriteNothing) {
    TestCanvas canvas(20, 30);
    std::string path = PathOf("refused.jpg");
    // 0 with the cause in errno, each call's own.
    auto refused = [this](MOSAIC_PARAMS* p, int x, int y, int w, int h, int q, char* to) {
        errno = 0;
        return saver.Save(p, x, y, w, h, q, to) == 0 ? errno : -1;
    };
    EXPECT_EQ(refused(nullptr, 0, 0, 29, 19, 90, path.data()), EINVAL);
    EXPECT_EQ(refused(&canvas.p, 0, 0, 29, 19, 90, nullptr), EINVAL);
    char empty[] = "";
    EXPECT_EQ(refused(&canvas.p, 0, 0, 29, 19, 90, empty), EINVAL);
    EXPECT_EQ(refused(&canvas.p, 30, 0, 5, 5, 90, path.data()), EINVAL);  // right of the canvas
    EXPECT_EQ(refused(&canvas.p, 0, 20, 5, 5, 90, path.data()), EINVAL);  // below it
    EXPECT_EQ(refused(&canvas.p, 5, 5, -1, 3, 90, path.data()), EINVAL);  // empty box
    EXPECT_EQ(refused(&canvas.p, -40, 0, 5, 5, 90, path.data()), EINVAL); // left of it

    MOSAIC_PARAMS bad = canvas.p;
    bad.nBytesPerPixel = 4;
    EXPECT_EQ(refused(&bad, 0, 0, 29, 19, 90, path.data()), EINVAL);
    bad = canvas.p;
    bad.bRowsACurrent = 0; // the current buffer is ppRowsB, which is empty
    EXPECT_EQ(refused(&bad, 0, 0, 29, 19, 90, path.data()), EINVAL);
    uint8_t* saved = canvas.pointers[3];
    canvas.pointers[3] = nullptr;
    EXPECT_EQ(refused(&canvas.p, 0, 0, 29, 19, 90, path.data()), EINVAL);
    canvas.pointers[3] = saved;
    EXPECT_FALSE(fs::exists(path));

    // A side beyond what JPEG can describe, across or down the canvas; one pixel less fits.
    TestCanvas wide(1, 65501);
    EXPECT_EQ(saver.Save(&wide.p, 0, 0, 65500, 0, 90, path.data()), 0);
    EXPECT_EQ(errno, EFBIG);
    TestCanvas tall(65501, 1);
    EXPECT_EQ(saver.Save(&tall.p, 0, 0, 0, 65500, 90, path.data()), 0);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_NE(saver.Save(&wide.p, 1, 0, 65499, 0, 90, path.data()), 0);
    EXPECT_EQ(Decode(path).width, 65500);
    EXPECT_NE(saver.Save(&tall.p, 0, 1, 0, 65499, 90, path.data()), 0);
    EXPECT_EQ(Decode(path).height, 65500);
}

// A failed write leaves its cause in errno: that of the open, or of the first write that failed.
TEST_F(SaverTest, WriteFailuresReturnZeroAndLeaveNoPartialFile) {
    TestCanvas canvas(200, 200);
    std::mt19937 rng(5);
    for (auto& row : canvas.storage) {
        for (auto& byte : row) {
            byte = static_cast<uint8_t>(rng());
        }
    }
    std::string missing = (dir / "no-such-folder" / "x.jpg").string();
    EXPECT_EQ(saver.Save(&canvas.p, 0, 0, 199, 199, 90, missing.data()), 0);
    EXPECT_EQ(errno, ENOENT);

    char full[] = "/dev/full";
    EXPECT_EQ(saver.Save(&canvas.p, 0, 0, 199, 199, 90, full), 0);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_TRUE(fs::exists(full));

    // A file-size limit makes the disk "full" after 4 KiB: the partial file goes.
    std::string path = PathOf("partial.jpg");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = saver.Save(&canvas.p, 0, 0, 199, 199, 90, path.data());
    const int cause = errno;
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(cause, EFBIG);
    EXPECT_FALSE(fs::exists(path));

    // The canvas is still there to be saved elsewhere.
    EXPECT_NE(saver.Save(&canvas.p, 0, 0, 199, 199, 90, path.data()), 0);
    EXPECT_EQ(Decode(path).width, 200);
}

TEST(SaverExports, OnlyTheConstructorAssignmentAndSaveAreExported) {
    const std::string command = std::string("nm -D --defined-only ") + TILER2_LIBRARY_PATH;
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> saverSymbols;
    std::vector<std::string> others;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        text.erase(text.find_last_not_of("\r\n") + 1);
        const std::string name = text.substr(text.rfind(' ') + 1);
        const char type = text.size() > 17 ? text[17] : '?';
        if (name.find("CSaverApp") != std::string::npos) {
            saverSymbols.insert(name);
        } else if (type == 'T' || type == 'W' || type == 'D' || type == 'B') {
            others.push_back(name);
        }
    }
    ASSERT_EQ(::pclose(pipe), 0);
    // The constructor has its usual two entry names (complete and base object).
    const std::set<std::string> expected{"_ZN9CSaverAppC1Ev", "_ZN9CSaverAppC2Ev",
                                         "_ZN9CSaverAppaSERKS_",
                                         "_ZN9CSaverApp4SaveEP13MOSAIC_PARAMSiiiiiPc"};
    EXPECT_EQ(saverSymbols, expected);
    EXPECT_TRUE(others.empty()) << "also exported: " << others.front();
}
