// What the renderer's test suites share: a small film rendered through the
// built module, image comparisons, a scratch directory, files read back.
#ifndef BRELVIX_TESTS_RENDER_RENDER_TEST_SUPPORT_H
#define BRELVIX_TESTS_RENDER_RENDER_TEST_SUPPORT_H

#include "tools/render/display_image.h"
#include "tools/render/render_tool.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

namespace brelvix::render::test {

namespace fs = std::filesystem;

/// A small, quick film, rendered through the built module.
inline RenderOptions smallOptions() {
    RenderOptions options;
    options.modulePath = BRELVIX_MODULE_PATH;
    options.film.width = 64;
    options.film.height = 24;
    options.film.samplesPerPixel = 4;
    options.threads = 2;
    return options;
}

inline Image render(const RenderOptions &options, const RayShader &shader = {}) {
    RenderResult result;
    std::string error;
    EXPECT_TRUE(renderScene(options, result, error, shader)) << error;
    EXPECT_EQ(result.stats.missedRays, 0u);
    return result.film;
}

/// Largest difference of any colour component between two images.
inline double largestDifference(const Image &a, const Image &b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    double largest = 0.0;
    for (std::size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
        const Vec3 d = a.pixels[i] - b.pixels[i];
        largest = std::max({largest, std::abs(d.x), std::abs(d.y), std::abs(d.z)});
    }
    return largest;
}

/// One eye's half of a side-by-side film.
inline Image half(const Image &film, bool right) {
    Image result;
    result.width = film.width / 2;
    result.height = film.height;
    for (int y = 0; y < film.height; ++y) {
        for (int x = 0; x < result.width; ++x) {
            result.pixels.push_back(film.at(right ? x + result.width : x, y));
        }
    }
    return result;
}

/// A scratch directory, removed afterwards.
class TempDirectory {
  public:
    TempDirectory() {
        std::string pattern = (fs::temp_directory_path() / "brelvix-render-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) != nullptr ? pattern : "";
    }
    ~TempDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string file(const std::string &name) const { return (fs::path(path_) / name).string(); }
    const std::string &path() const { return path_; }
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto &entry : fs::directory_iterator(path_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

  private:
    std::string path_;
};

/// A glTF file with one triangle and an orthographic camera looking at it.
inline constexpr const char *kOrthographicGltf =
    R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0, 1]}],
"nodes": [{"mesh": 0}, {"camera": 0, "translation": [0.3, 0.3, 5]}],
"cameras": [{"type": "orthographic",
  "orthographic": {"xmag": 1, "ymag": 1, "znear": 0.01, "zfar": 100}}],
"meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
"accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
  "min": [0, 0, 0], "max": [1, 1, 0]}],
"bufferViews": [{"buffer": 0, "byteLength": 36}],
"buffers": [{"byteLength": 36,
  "uri": "data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}]})";

inline void writeFile(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string readFile(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

/// Reads a PNG back as 8-bit RGB.
inline DisplayImage readPng(const std::string &path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    DisplayImage image;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        ADD_FAILURE() << png.message;
        return image;
    }
    png.format = PNG_FORMAT_RGB;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgb.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr) == 0) {
        ADD_FAILURE() << png.message;
    }
    return image;
}

} // namespace brelvix::render::test

#endif
