// The module as the host sees it: loaded from the built file, started, and
// activated through its descriptor.
#include "host/standin_host.h"
#include "tests/integration/loaded_module.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace brelvix::integration {
namespace {

TEST_F(LoadedModule, DescriptorListsTheLensAndThePanel) {
    const ModuleDescriptor &descriptor = module->descriptor();
    EXPECT_EQ(descriptor.syncWord, 0x04121994u);
    EXPECT_EQ(descriptor.systemVersion, 3u);
    // The host's machine word: Windows (both widths), or Linux.
#if defined(_WIN32)
    EXPECT_EQ(descriptor.machineWord, 0x300u);
#else
    EXPECT_EQ(descriptor.machineWord, 0x500u);
#endif
    EXPECT_EQ(reinterpret_cast<uintptr_t>(module->serverData()), 4u);
    const ServerRecord *const lensServer = module->server("CameraHandler");
    const ServerRecord *const panelServer = module->server("CameraInterface");
    ASSERT_NE(lensServer, nullptr);
    ASSERT_NE(panelServer, nullptr);
    EXPECT_STREQ(lensServer->name, "Brelvix0.1.5");
    EXPECT_STREQ(panelServer->name, "Brelvix0.1.5");
    EXPECT_EQ(lensServer->tags, panelServer->tags);
    EXPECT_STREQ(lensServer->tags[0].text, "Brelvix 0.1.5");
    EXPECT_EQ(lensServer->tags[1].text, nullptr);
    EXPECT_EQ(descriptor.servers[2].className, nullptr);
}

TEST_F(LoadedModule, LensActivationChecksVersionAndServices) {
    for (const int version : {1, 3}) {
        standin::StandInHost host;
        standin::LensTables tables;
        EXPECT_EQ(
            tables.activate(lensServer()->activate, host.lookup(), module->serverData(), version),
            1);
        EXPECT_TRUE(host.lookups().empty());
        EXPECT_EQ(tables.instance.create, nullptr);
    }
    for (const char *missing : {"LWVParmFuncs 2", "LW Item Info 4", "Animation Envelopes",
                                "LW Time Info", "LW Camera Info 5"}) {
        SCOPED_TRACE(missing);
        standin::StandInHost host;
        host.withholdService(missing);
        standin::LensTables tables;
        EXPECT_EQ(tables.activate(lensServer()->activate, host.lookup(), module->serverData()), 2);
        EXPECT_EQ(tables.instance.create, nullptr);
        EXPECT_EQ(tables.handler.flags, nullptr);
        EXPECT_EQ(host.lookups().size(), 5u);
    }
}

TEST_F(LoadedModule, FreshInstanceSamplesToTheDefaults) {
    void *const instance = createInstance();
    ASSERT_NE(instance, nullptr);
    EXPECT_STREQ(lens.instance.describe(instance), "Brelvix");
    EXPECT_EQ(lens.handler.flags(instance), 1u);
    const std::vector<double> defaults = {2.6217, 0.0, 0.0, 0.05, 0.0};
    // The module starts each channel at its cached value, and saves the
    // cached values narrowed.
    const std::array<double, kParameterCount> &initial = made.at(instance).initialValues;
    EXPECT_EQ(std::vector<double>(initial.begin(), initial.end()), defaults);
    std::vector<double> narrowed;
    for (const double value : defaults) {
        narrowed.push_back(static_cast<float>(value));
    }
    EXPECT_EQ(savedNumbers(instance), narrowed);
    for (const double time : {0.0, 12.5}) {
        EXPECT_EQ(channelValues(instance, time), defaults);
    }
    EXPECT_EQ(host.liveChannelCount(), 5u);
    lens.instance.destroy(instance);
    EXPECT_EQ(host.liveChannelCount(), 0u);
}

TEST_F(LoadedModule, SceneRoundTripNarrowsTheCachedValues) {
    void *const saved = createInstance();
    void *const loaded = createInstance();
    ASSERT_NE(saved, nullptr);
    ASSERT_NE(loaded, nullptr);
    standin::SceneWriter writer;
    ASSERT_EQ(lens.instance.save(saved, writer.state()), nullptr);
    // The numbers are the last line: the cached values narrowed to floats.
    const std::string &text = writer.text();
    const std::string last = text.substr(text.rfind("floats"));
    float numbers[5] = {};
    ASSERT_EQ(std::sscanf(last.c_str(), "floats 5 %g %g %g %g %g", &numbers[0], &numbers[1],
                          &numbers[2], &numbers[3], &numbers[4]),
              5)
        << last;
    EXPECT_EQ(static_cast<double>(numbers[0]), 2.6217000484466553);
    EXPECT_EQ(static_cast<double>(numbers[3]), 0.05000000074505806);
    EXPECT_EQ(numbers[1], 0.0f);

    standin::SceneReader reader(text);
    EXPECT_EQ(lens.instance.load(loaded, reader.state()), nullptr);
    EXPECT_EQ(host.countCalls("LWVParmFuncs 2", "load"), 5u);
    EXPECT_EQ(savedNumbers(loaded),
              (std::vector<double>{2.6217000484466553, 0.0, 0.0, 0.05000000074505806, 0.0}));
    // The loaded cached values are the narrowed ones, not the defaults: with
    // the channels silent, the preview and the rays compute with them.
    CameraAccess access{};
    access.cameraItem = host.cameraItem();
    access.filmWidth = 0.036;
    access.filmHeight = 0.024;
    double matrix[16];
    failTheNextSampling();
    ASSERT_EQ(lens.handler.preview(loaded, 0.0, 0.0, matrix, &access), 1);
    EXPECT_EQ(matrix[0], (0.024 * 2.6217000484466553) * 0.5);
    const FrameInfo frame{1, 0.0, 0.0, 24.0, 0};
    failTheNextSampling();
    ASSERT_EQ(lens.handler.newFrame(loaded, &frame, &access), nullptr);
    CameraRay ray{};
    ASSERT_EQ(lens.handler.evaluate(loaded, 0.009, 0.0, 0.0, 0.0, 0.0, &ray), 1);
    EXPECT_EQ(ray.origin[0], 0.05000000074505806 * 0.5);
    lens.instance.destroy(saved);
    lens.instance.destroy(loaded);
}

TEST_F(LoadedModule, DamagedSceneErrorComesBackUnchanged) {
    void *const instance = createInstance();
    ASSERT_NE(instance, nullptr);
    standin::SceneReader reader("channel 0 2.6217\nchannel zero\n");
    const char *const error = lens.instance.load(instance, reader.state());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(std::string(error).rfind("Scene line 2", 0), 0u) << error;
    lens.instance.destroy(instance);
}

TEST(ModulePath, ABareFileNameIsTheFileInTheWorkingDirectory) {
    namespace fs = std::filesystem;
    const fs::path built(BRELVIX_MODULE_PATH);
    const std::string name = built.filename().string();
    const fs::path directory =
        fs::temp_directory_path() /
        ("brelvix-module-path-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    fs::create_directories(directory);
    fs::copy_file(built, directory / name);
    const fs::path previous = fs::current_path();
    fs::current_path(directory);
    std::string error;
    std::unique_ptr<standin::ModuleLibrary> library = standin::ModuleLibrary::open(name, error);
    std::string missingError;
    const bool missingOpened =
        standin::ModuleLibrary::open("missing-" + name, missingError) != nullptr;
    fs::current_path(previous);
    const bool opened = library != nullptr;
    const std::string path = opened ? library->path() : "";
    library.reset(); // closed before its file is removed
    fs::remove_all(directory);

    ASSERT_TRUE(opened) << error;
    EXPECT_EQ(path, name);
    EXPECT_FALSE(missingOpened);
    EXPECT_EQ(missingError.rfind("Cannot load module missing-" + name + ": ", 0), 0u)
        << missingError;
}

} // namespace
} // namespace brelvix::integration
