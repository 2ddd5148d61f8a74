// Test videos written at test time into a temporary folder, and readers for the frame buffer.
#pragma once

#include "VideoGrabber.h"
#include "tests/support/temp_dir.h"
#include "tools/video_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace media_test {

inline const std::filesystem::path& TempDir() {
    return stillo_test::ProcessTempDir().Path();
}

inline std::string WriteTestVideo(const std::string& name, const videotool::VideoSpec& spec) {
    const std::string path = (TempDir() / name).string();
    std::string error;
    EXPECT_TRUE(videotool::WriteVideo(path, spec, &error)) << name << ": " << error;
    return path;
}

// A pan with the writer's default motion.
inline videotool::VideoSpec Spec(videotool::Codec codec, int w, int h, int frames) {
    return videotool::Pan(codec, w, h, frames, videotool::VideoSpec{}.dx);
}

// The barcode of the frame in a frame buffer (rows of 3 * wf bytes, picture's top in row 1).
inline int BarcodeOf(const uint8_t* frameBuffer, int wf, int barRows) {
    return videotool::ReadBarcode(wf, barRows, [&](int x, int y) {
        return frameBuffer[(static_cast<size_t>(y) + 1) * 3 * wf + 3 * static_cast<size_t>(x) + 1];
    });
}

// The barcode of a bottom-up picture of 24-bit rows, 3 * w bytes each (the top row last).
inline int BarcodeOfBottomUp(const uint8_t* picture, int w, int h) {
    const uint8_t* top = picture + static_cast<size_t>(3) * w * (h - 1);
    return videotool::ReadBarcode(w, videotool::kBarcodeRows, [&](int x, int y) {
        return top[-static_cast<ptrdiff_t>(3) * w * y + 3 * x + 1];
    });
}

struct OpenResult {
    int32_t result;
    std::string printed;
};

// Opens a file with the frame format, what it prints kept.
inline OpenResult OpenCapturing(CVideoGrabber& g, const std::string& path, int* w, int* h,
                                int half = 0) {
    testing::internal::CaptureStdout();
    const int32_t r = g.Open(path.c_str(), w, h, 1, half);
    return {r, testing::internal::GetCapturedStdout()};
}

// The same with the progress lines swallowed; the count is stored as the work view stores it.
inline int32_t OpenQuietly(CVideoGrabber& g, const std::string& path, int* w, int* h,
                           int half = 0) {
    const int32_t count = OpenCapturing(g, path, w, h, half).result;
    g.m_nFrameCount = count;
    return count;
}

// The extension of a file the writer makes in that format.
inline const char* ExtensionOf(videotool::Codec codec) {
    switch (codec) {
    case videotool::Codec::Mpeg1:
    case videotool::Codec::Mpeg2:
        return ".mpg";
    case videotool::Codec::H264:
        return ".h264";
    default:
        return ".avi";
    }
}

// Mean absolute difference between the frame buffer below the barcode and the frame as it was
// written: small for a lossy copy of the right frame in the right orientation and channel order.
inline double MeanError(const uint8_t* frameBuffer, const videotool::VideoSpec& spec, int n) {
    std::vector<uint8_t> rgb;
    videotool::RenderFrame(spec, n, &rgb);
    double sum = 0;
    long count = 0;
    for (int y = videotool::kBarcodeRows + 4; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            const uint8_t* b = frameBuffer + (static_cast<size_t>(y) + 1) * 3 * spec.width + 3 * x;
            const uint8_t* p = rgb.data() + (static_cast<size_t>(y) * spec.width + x) * 3;
            sum += std::abs(b[0] - p[2]) + std::abs(b[1] - p[1]) + std::abs(b[2] - p[0]);
            count += 3;
        }
    }
    return count ? sum / count : 0;
}

} // namespace media_test
