// An OpenEXR file written and read back with OpenEXR: channels, types,
// pixels (to half precision), infinite distances, and nothing left behind
// when the path cannot be written.
#include "tools/output/exr_output.h"

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <half.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

namespace brelvix::world {
namespace {

namespace fs = std::filesystem;

fs::path freshFolder() {
    const fs::path folder = fs::temp_directory_path() / ("brelvix-exr-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

TEST(ExrOutput, RoundTripThroughOpenExr) {
    const fs::path folder = freshFolder();
    const std::string path = (folder / "frame.exr").string();
    ExrImage image;
    image.width = 5;
    image.height = 3;
    for (int i = 0; i < image.width * image.height; ++i) {
        image.rgb.insert(image.rgb.end(), {0.01f * i, 0.5f + i, 100.0f - i});
        image.depth.push_back(i % 4 == 0 ? INFINITY : 1.25f * i);
    }
    std::string error;
    ASSERT_TRUE(writeExr(path, image, error)) << error;

    Imf::InputFile file(path.c_str());
    const Imath::Box2i window = file.header().dataWindow();
    ASSERT_EQ(window.max.x - window.min.x + 1, image.width);
    ASSERT_EQ(window.max.y - window.min.y + 1, image.height);
    const Imf::ChannelList &channels = file.header().channels();
    for (const char *name : {"R", "G", "B"}) {
        ASSERT_TRUE(channels.findChannel(name)) << name;
        EXPECT_EQ(channels.findChannel(name)->type, Imf::HALF) << name;
    }
    ASSERT_TRUE(channels.findChannel("Z"));
    EXPECT_EQ(channels.findChannel("Z")->type, Imf::FLOAT);

    const std::size_t pixels = image.depth.size();
    std::vector<half> red(pixels);
    std::vector<half> green(pixels);
    std::vector<half> blue(pixels);
    std::vector<float> depth(pixels);
    const std::size_t row = static_cast<std::size_t>(image.width);
    Imf::FrameBuffer frame;
    frame.insert("R", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(red.data()), sizeof(half),
                                 sizeof(half) * row));
    frame.insert("G", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(green.data()), sizeof(half),
                                 sizeof(half) * row));
    frame.insert("B", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(blue.data()), sizeof(half),
                                 sizeof(half) * row));
    frame.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(depth.data()), sizeof(float),
                                 sizeof(float) * row));
    file.setFrameBuffer(frame);
    file.readPixels(window.min.y, window.max.y);
    for (std::size_t i = 0; i < pixels; ++i) {
        EXPECT_EQ(float(red[i]), float(half(image.rgb[3 * i]))) << "pixel " << i;
        EXPECT_EQ(float(green[i]), float(half(image.rgb[3 * i + 1]))) << "pixel " << i;
        EXPECT_EQ(float(blue[i]), float(half(image.rgb[3 * i + 2]))) << "pixel " << i;
        EXPECT_EQ(depth[i], image.depth[i]) << "pixel " << i;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1)
        << "only the file itself";
    fs::remove_all(folder);
}

TEST(ExrOutput, FailuresLeaveNoFile) {
    const fs::path folder = freshFolder();
    ExrImage image{2, 2, std::vector<float>(12, 0.5f), std::vector<float>(4, 1.0f)};
    std::string error;
    const std::string missing = (folder / "no-folder" / "frame.exr").string();
    EXPECT_FALSE(writeExr(missing, image, error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;

    image.depth.pop_back();
    const std::string path = (folder / "frame.exr").string();
    EXPECT_FALSE(writeExr(path, image, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(folder)) << "no file and no temporary left";
    fs::remove_all(folder);
}

} // namespace
} // namespace brelvix::world
