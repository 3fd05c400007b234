// The stand-in host itself: its curves and camera, its scene text, its fault
// injection and its records of the panel toolkit's calls. The module's tests
// rely on all of these being right.
#include "host/standin_host.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace brelvix::standin {
namespace {

const ParameterService &parameters(const StandInHost &host) {
    return *static_cast<const ParameterService *>(host.lookup()("LWVParmFuncs 2", 0));
}

const PanelService &panelToolkit(const StandInHost &host) {
    return *static_cast<const PanelService *>(host.lookup()("LWXPanel", 0));
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

/// The injected failure's text when `failing`, else no text. Compared as
/// text: each translation unit may hold its own copy of the constant.
void expectInjected(const char *error, bool failing) {
    if (failing) {
        EXPECT_STREQ(error, StandInHost::kInjectedFailure);
    } else {
        EXPECT_EQ(error, nullptr) << error;
    }
}

TEST(StandInCurve, InterpolatesBetweenKeysAndHoldsOutside) {
    Curve curve;
    curve.constant = 7.0;
    EXPECT_EQ(curve.at(-3.0), 7.0);
    EXPECT_EQ(curve.at(1e9), 7.0);

    // Added out of order; the key at 1.0 is replaced.
    curve.setKey(2.0, 4.0);
    curve.setKey(0.0, 1.0);
    curve.setKey(1.0, 99.0);
    curve.setKey(1.0, 3.0);
    ASSERT_EQ(curve.keys.size(), 3u);
    EXPECT_EQ(curve.keys[0].time, 0.0);
    EXPECT_EQ(curve.keys[1].time, 1.0);
    EXPECT_EQ(curve.keys[2].time, 2.0);

    struct Case {
        double time;
        double value;
    };
    const Case cases[] = {
        {-5.0, 1.0}, {0.0, 1.0}, {0.5, 2.0}, {0.25, 1.5}, {1.0, 3.0},
        {1.5, 3.5},  {2.0, 4.0}, {2.5, 4.0}, {1e9, 4.0},
    };
    for (const Case &c : cases) {
        EXPECT_DOUBLE_EQ(curve.at(c.time), c.value) << "time " << c.time;
    }
    // Every key is met exactly, whatever its neighbours.
    Curve uneven;
    uneven.setKey(0.0, 0.1);
    uneven.setKey(0.3, 0.7);
    uneven.setKey(1.0, 0.3);
    for (const Key &key : uneven.keys) {
        EXPECT_EQ(uneven.at(key.time), key.value) << "time " << key.time;
    }
}

TEST(StandInCurve, AKeyAtATimeThatIsNotANumberIsIgnored) {
    // Found by the frame fuzz target: a NaN key sorted after -0.001 sent the
    // interpolation past the last key.
    Curve curve;
    curve.setKey(std::nan(""), -0.001);
    curve.setKey(-0.001, -0.001);
    curve.setKey(std::nan(""), 5.0);
    ASSERT_EQ(curve.keys.size(), 1u);
    EXPECT_EQ(curve.keys[0].time, -0.001);
    EXPECT_EQ(curve.at(0.0), -0.001);
    EXPECT_EQ(curve.at(std::nan("")), -0.001);
}

TEST(StandInCamera, AxesAreOrthonormalAndRightHandedInTheHostsSense) {
    CameraItem camera;
    double right[3], up[3], forward[3];
    camera.axes(0.0, right, up, forward);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(right[i], i == 0 ? 1.0 : 0.0);
        EXPECT_EQ(up[i], i == 1 ? 1.0 : 0.0);
        EXPECT_EQ(forward[i], i == 2 ? 1.0 : 0.0);
    }

    const auto dot = [](const double a[3], const double b[3]) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> angle(-3.2, 3.2);
    for (int n = 0; n < 200; ++n) {
        camera.heading.constant = angle(random);
        camera.pitch.constant = angle(random) / 2.0;
        camera.bank.constant = angle(random);
        camera.axes(0.0, right, up, forward);
        SCOPED_TRACE(::testing::Message()
                     << "heading " << camera.heading.constant << " pitch " << camera.pitch.constant
                     << " bank " << camera.bank.constant);
        EXPECT_NEAR(dot(right, right), 1.0, 1e-12);
        EXPECT_NEAR(dot(up, up), 1.0, 1e-12);
        EXPECT_NEAR(dot(forward, forward), 1.0, 1e-12);
        EXPECT_NEAR(dot(right, up), 0.0, 1e-12);
        EXPECT_NEAR(dot(right, forward), 0.0, 1e-12);
        EXPECT_NEAR(dot(up, forward), 0.0, 1e-12);
        const double cross[3] = {up[1] * forward[2] - up[2] * forward[1],
                                 up[2] * forward[0] - up[0] * forward[2],
                                 up[0] * forward[1] - up[1] * forward[0]};
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(cross[i], right[i], 1e-12) << "component " << i;
        }
    }

    // Heading turns forward toward +x; pitch positive looks down.
    camera.heading.constant = std::numbers::pi / 2.0;
    camera.pitch.constant = 0.0;
    camera.bank.constant = 0.0;
    camera.axes(0.0, right, up, forward);
    EXPECT_NEAR(forward[0], 1.0, 1e-15);
    EXPECT_NEAR(right[2], -1.0, 1e-15);
    camera.heading.constant = 0.0;
    camera.pitch.constant = 0.3;
    camera.axes(0.0, right, up, forward);
    EXPECT_LT(forward[1], 0.0);
    EXPECT_GT(up[2], 0.0);
}

TEST(StandInCamera, ItemInfoScalesTheAxesAndReportsPositionAndGroup) {
    StandInHost host;
    const auto &items = *static_cast<const ItemInfoService *>(host.lookup()("LW Item Info 4", 0));
    const auto &cameras =
        *static_cast<const CameraInfoService *>(host.lookup()("LW Camera Info 5", 0));
    CameraItem &camera = host.camera();
    camera.axisScale[0] = 2.0;
    camera.axisScale[1] = 3.0;
    camera.axisScale[2] = 0.5;
    camera.position[1].setKey(0.0, 1.0);
    camera.position[1].setKey(2.0, 5.0);
    camera.fStop.constant = 2.8;

    struct Case {
        int code;
        double expected[3];
    };
    const Case cases[] = {
        {kItemRightAxis, {2.0, 0.0, 0.0}},
        {kItemUpAxis, {0.0, 3.0, 0.0}},
        {kItemForwardAxis, {0.0, 0.0, 0.5}},
        {kItemWorldPosition, {0.0, 3.0, 0.0}},
    };
    for (const Case &c : cases) {
        double out[3] = {-1.0, -1.0, -1.0};
        items.param(host.cameraItem(), c.code, 1.0, out);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(out[i], c.expected[i]) << "code " << c.code << " component " << i;
        }
    }
    EXPECT_EQ(items.channelGroup(host.cameraItem()), &camera.channelGroup);
    EXPECT_EQ(cameras.focalDistance(host.cameraItem(), 0.0), 10.0);
    EXPECT_EQ(cameras.fStop(host.cameraItem(), 0.0), 2.8);
    EXPECT_EQ(host.countCalls("LW Item Info 4", "param"), 4u);
    EXPECT_EQ(host.countCalls("LW Camera Info 5", "fStop"), 1u);
    EXPECT_EQ(host.calls().back().handle, host.cameraItem());
}

TEST(StandInScene, ChannelsAndFloatsComeBackBitForBit) {
    StandInHost host;
    const ParameterService &service = parameters(host);

    // Awkward values: thirds, tiny and huge magnitudes, subnormals, -0.
    std::mt19937_64 random(7);
    const auto awkward = [&random]() {
        for (;;) {
            const std::uint64_t bits = random();
            double value;
            std::memcpy(&value, &bits, sizeof value);
            if (std::isfinite(value)) {
                return value;
            }
        }
    };
    std::vector<void *> saved;
    for (int n = 0; n < 4; ++n) {
        void *const channel = service.create(0x10, -1);
        ASSERT_NE(channel, nullptr);
        Curve &curve = host.channel(channel)->curve;
        curve.constant = n == 0 ? -0.0 : awkward();
        for (int k = 0; k < n * 3; ++k) {
            curve.setKey(awkward(), awkward());
        }
        curve.setKey(1.0 / 3.0, 4.9406564584124654e-324);
        saved.push_back(channel);
    }
    float numbers[5] = {2.6217f, 0.05f, -0.0f, 1.17549435e-38f, 3.4028235e+38f};

    SceneWriter writer;
    for (void *channel : saved) {
        ASSERT_EQ(service.save(channel, writer.state()), nullptr);
    }
    writer.state()->writeFloats(writer.state()->writer, numbers, 5);

    // Through a file, as a scene is kept.
    const std::string path = ::testing::TempDir() + "standin_scene_test.txt";
    std::string error;
    ASSERT_TRUE(writer.writeTo(path, error)) << error;
    std::string text;
    ASSERT_TRUE(SceneReader::readFile(path, text, error)) << error;
    std::remove(path.c_str());
    EXPECT_EQ(text, writer.text());

    SceneReader reader(text);
    for (void *original : saved) {
        void *const channel = service.create(0x10, -1);
        ASSERT_EQ(service.load(channel, reader.state()), nullptr);
        const Curve &expected = host.channel(original)->curve;
        const Curve &loaded = host.channel(channel)->curve;
        EXPECT_TRUE(sameBits(loaded.constant, expected.constant)) << loaded.constant;
        ASSERT_EQ(loaded.keys.size(), expected.keys.size());
        for (std::size_t k = 0; k < loaded.keys.size(); ++k) {
            EXPECT_TRUE(sameBits(loaded.keys[k].time, expected.keys[k].time)) << "key " << k;
            EXPECT_TRUE(sameBits(loaded.keys[k].value, expected.keys[k].value)) << "key " << k;
        }
    }
    float read[5] = {};
    EXPECT_EQ(reader.state()->readFloats(reader.state()->reader, read, 5), 5);
    EXPECT_EQ(std::memcmp(read, numbers, sizeof numbers), 0);
    EXPECT_EQ(host.countCalls("LoadState", "readFloats"), 1u);
}

TEST(StandInScene, DamagedChannelGivesAnErrorNamingTheLine) {
    struct Case {
        std::string text;
        std::string error;
    };
    const Case cases[] = {
        {"", "Scene line 1: expected a channel"},
        {"floats 1 2\n", "Scene line 1: expected a channel"},
        {"channel 1 0.5\nkey 0 1\n", "Scene line 1: expected a channel"}, // read twice
        {"channel 2 1\nkey 0 1\nkey 1e 2\n", "Scene line 3: damaged key"},
        {"channel 2 1\nkey 0 1\n", "Scene line 3: expected a key"},
        {"channel 2 1\nkey 0 1\nchannel 0 0\n", "Scene line 3: expected a key"},
        {"channel 1 0.5x\n", "Scene line 1: damaged channel"},
        {"channel -1 0.5\n", "Scene line 1: damaged channel"},
        {"channel 0 1e999\n", "Scene line 1: damaged channel"},
        {"channel 0 nan\n", "Scene line 1: damaged channel"},
        {"channel 0 -inf\n", "Scene line 1: damaged channel"},
        {"channel 1 0\nkey infinity 1\n", "Scene line 2: damaged key"},
        {"channel 1 0\nkey 0 -nan\n", "Scene line 2: damaged key"},
        {"channel 2 0\nkey 1 0\nkey 1 2\n", "Scene line 3: key out of order"},
    };
    StandInHost host;
    const ParameterService &service = parameters(host);
    void *const channel = service.create(0x20, -1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        host.channel(channel)->curve = Curve{0.125, {{0.0, 1.0}}};
        SceneReader reader(c.text);
        const char *error = service.load(channel, reader.state());
        if (c.text.starts_with("channel 1 0.5\n")) {
            ASSERT_EQ(error, nullptr);
            error = service.load(channel, reader.state());
            ASSERT_NE(error, nullptr);
            EXPECT_EQ(std::string(error), "Scene line 3: expected a channel");
            continue;
        }
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(std::string(error), c.error);
        // Nothing of the damaged channel is taken.
        EXPECT_EQ(host.channel(channel)->curve.constant, 0.125);
        EXPECT_EQ(host.channel(channel)->curve.keys.size(), 1u);
    }
}

TEST(StandInScene, ReadFloatsDeliversWhatTheLineHolds) {
    struct Case {
        std::string text;
        int count;
        int result;
        std::vector<float> values; // the start of the array afterwards
    };
    const Case cases[] = {
        {"floats 3 1 2 3\n", 5, 3, {1, 2, 3, 9, 9}},
        {"floats 5 1 2\n", 5, 2, {1, 2, 9, 9, 9}},       // fewer values than announced
        {"floats 2 1 2 3 4\n", 5, 2, {1, 2, 9, 9, 9}},   // more values than announced
        {"floats 5 1 2 3 4 5\n", 2, 2, {1, 2, 9, 9, 9}}, // fewer asked for
        {"floats 3 1 x 3\n", 3, 1, {1, 9, 9, 9, 9}},     // stops at damage
        {"floats 0\n", 5, 0, {9, 9, 9, 9, 9}},
        {"", 5, -1, {9, 9, 9, 9, 9}},
        {"channel 0 1\n", 5, -1, {9, 9, 9, 9, 9}},
        {"floats x 1\n", 5, -1, {9, 9, 9, 9, 9}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SceneReader reader(c.text);
        float values[5] = {9, 9, 9, 9, 9};
        EXPECT_EQ(reader.state()->readFloats(reader.state()->reader, values, c.count), c.result);
        EXPECT_EQ(std::vector<float>(values, values + 5), c.values);
    }
    // A floats line is consumed once; the text then is exhausted.
    SceneReader reader("floats 1 0.5\n");
    float value = 0.0f;
    EXPECT_EQ(reader.state()->readFloats(reader.state()->reader, &value, 1), 1);
    EXPECT_EQ(reader.state()->readFloats(reader.state()->reader, &value, 1), -1);
}

TEST(StandInHostServices, WithheldAndUnknownServicesAreNullAndEveryLookupIsRecorded) {
    StandInHost host;
    const char *const names[] = {"LWVParmFuncs 2", "LW Item Info 4",      "LW Camera Info 5",
                                 "LW Time Info",   "Animation Envelopes", "Instance Update",
                                 "LWXPanel"};
    for (const char *name : names) {
        EXPECT_NE(host.lookup()(name, 0), nullptr) << name;
    }
    host.withholdService("LW Camera Info 5");
    EXPECT_EQ(host.lookup()("LW Camera Info 5", 0), nullptr);
    EXPECT_NE(host.lookup()("LW Item Info 4", 0), nullptr);
    EXPECT_EQ(host.lookup()("LW Item Info 3", 0), nullptr);
    EXPECT_EQ(host.lookups().size(), 10u);
    EXPECT_EQ(host.lookups().back(), "LW Item Info 3");

    host.setCurrentTime(2.5);
    EXPECT_EQ(static_cast<const TimeInfo *>(host.lookup()("LW Time Info", 0))->currentTime, 2.5);

    const auto update =
        reinterpret_cast<InstanceUpdateFunction>(host.lookup()("Instance Update", 0));
    int instance = 0;
    update("CameraHandler", &instance);
    ASSERT_EQ(host.instanceUpdates().size(), 1u);
    EXPECT_EQ(host.instanceUpdates()[0].first, "CameraHandler");
    EXPECT_EQ(host.instanceUpdates()[0].second, &instance);

    host.clearRecords();
    EXPECT_TRUE(host.lookups().empty());
    EXPECT_TRUE(host.calls().empty());
    EXPECT_TRUE(host.instanceUpdates().empty());
}

TEST(StandInHostServices, TheNewestHostAnswersUntilItIsDestroyed) {
    StandInHost outer;
    const HostLookup lookup = outer.lookup();
    {
        StandInHost inner;
        lookup("LW Time Info", 0);
        EXPECT_EQ(inner.lookups().size(), 1u);
        EXPECT_TRUE(outer.lookups().empty());
    }
    lookup("LW Time Info", 0);
    EXPECT_EQ(outer.lookups().size(), 1u);
}

TEST(StandInHostServices, InjectedChannelFailureFallsOnTheNthCallOnly) {
    StandInHost host;
    const ParameterService &service = parameters(host);
    struct Case {
        ChannelOperation op;
        const char *name;
    };
    const Case cases[] = {
        {ChannelOperation::Create, "create"},     {ChannelOperation::Setup, "setup"},
        {ChannelOperation::Copy, "copy"},         {ChannelOperation::Load, "load"},
        {ChannelOperation::Save, "save"},         {ChannelOperation::Value, "value"},
        {ChannelOperation::SetValue, "setValue"}, {ChannelOperation::Destroy, "destroy"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        host.failChannelOperation(c.op, 2);
        for (int call = 1; call <= 3; ++call) {
            SCOPED_TRACE(call);
            const bool failing = call == 2;
            void *const channel =
                c.op == ChannelOperation::Create ? nullptr : service.create(0x40, -1);
            Channel *const recorded = host.channel(channel);
            if (recorded != nullptr) {
                recorded->curve = Curve{0.5, {}};
            }
            switch (c.op) {
            case ChannelOperation::Create:
                EXPECT_EQ(service.create(0x40, -1) == nullptr, failing);
                break;
            case ChannelOperation::Setup:
                EXPECT_EQ(
                    service.setup(channel, "Name", nullptr, nullptr, nullptr, nullptr, nullptr),
                    failing ? 0 : 1);
                EXPECT_EQ(recorded->name, failing ? "" : "Name");
                break;
            case ChannelOperation::Copy: {
                void *const source = service.create(0x40, -1);
                host.channel(source)->curve.constant = 3.0;
                const char *const error = service.copy(channel, source);
                expectInjected(error, failing);
                EXPECT_EQ(recorded->curve.constant, failing ? 0.5 : 3.0);
                break;
            }
            case ChannelOperation::Load: {
                SceneReader reader("channel 0 2\n");
                expectInjected(service.load(channel, reader.state()), failing);
                EXPECT_EQ(recorded->curve.constant, failing ? 0.5 : 2.0);
                break;
            }
            case ChannelOperation::Save: {
                SceneWriter writer;
                expectInjected(service.save(channel, writer.state()), failing);
                EXPECT_EQ(writer.text(), failing ? "" : "channel 0 0.5\n");
                break;
            }
            case ChannelOperation::Value: {
                double out[4] = {-1.0, -1.0, -1.0, -1.0};
                EXPECT_EQ(service.value(channel, 0.0, nullptr, out), failing ? 0 : 1);
                EXPECT_EQ(out[0], failing ? -1.0 : 0.5);
                break;
            }
            case ChannelOperation::SetValue: {
                recorded->curve.setKey(1.0, 1.0);
                double in[1] = {4.0};
                EXPECT_EQ(service.setValue(channel, in), failing ? 0 : 1);
                EXPECT_EQ(recorded->curve.keys.empty(), !failing);
                EXPECT_EQ(recorded->curve.at(1.0), failing ? 1.0 : 4.0);
                break;
            }
            case ChannelOperation::Destroy: {
                const std::size_t live = host.liveChannelCount();
                service.destroy(channel);
                EXPECT_EQ(host.liveChannelCount(), failing ? live : live - 1);
                break;
            }
            }
        }
        // The failed call is recorded as such, and only it.
        std::size_t failed = 0;
        for (const HostCall &call : host.calls()) {
            failed += call.operation == c.name && call.detail.ends_with("failed") ? 1 : 0;
        }
        EXPECT_EQ(failed, 1u);
        host.clearRecords();
    }
}

TEST(StandInPanels, RecordsTablesAndParsesHintWords) {
    StandInHost host;
    const PanelService &toolkit = panelToolkit(host);
    const PanelControl controls[] = {{0x8001, "Zoom Factor", "float-env"},
                                     {0x8002, "", "sInfo"},
                                     {0, nullptr, nullptr},
                                     {0x9999, "after the end", "float"}};
    const PanelDataDesc descs[] = {{0x8001, "", "float-env"}, {0, nullptr, nullptr}};
    static const char label[] = "Label";
    const intptr_t hints[] = {
        static_cast<intptr_t>(0x3D01FE81),
        0x8008,
        0x8001,
        0x8002,
        0,
        static_cast<intptr_t>(0x3D014002),
        0x8003,
        -1000,
        static_cast<intptr_t>(0x3D000B03),
        0,
        reinterpret_cast<intptr_t>(label),
        0,
        static_cast<intptr_t>(0x3D001201),
        -1,
        0,
        0x7777, // after the end: not read
    };
    constexpr std::size_t kListWords = 15;

    void *const panel = toolkit.create(1, controls);
    ASSERT_NE(panel, nullptr);
    toolkit.describe(panel, descs, nullptr, nullptr);
    toolkit.hint(panel, 0, hints);
    int instance = 0;
    EXPECT_EQ(toolkit.viewInstance(panel, &instance), 1);
    toolkit.setData(panel, 0, &instance);

    ASSERT_EQ(host.panels().size(), 1u);
    const RecordedPanel &recorded = host.panels()[0];
    EXPECT_EQ(recorded.type, 1);
    ASSERT_EQ(recorded.controls.size(), 3u);
    EXPECT_EQ(recorded.controls[1].id, 0x8002u);
    EXPECT_STREQ(recorded.controls[1].label, "");
    EXPECT_EQ(recorded.controls[2].controlClass, nullptr);
    EXPECT_EQ(recorded.dataDescs.size(), 2u);
    ASSERT_EQ(recorded.hints.size(), 1u);
    EXPECT_EQ(recorded.hints[0].first, 0u);
    EXPECT_EQ(recorded.hints[0].second, std::vector<intptr_t>(hints, hints + kListWords));
    EXPECT_EQ(recorded.viewedInstances, std::vector<void *>{&instance});
    ASSERT_EQ(recorded.data.size(), 1u);
    EXPECT_EQ(recorded.data[0].second, &instance);
    EXPECT_EQ(recorded.callOrder,
              (std::vector<std::string>{"create", "describe", "hint", "viewInstance", "setData"}));
    // The create call names the panel it made.
    EXPECT_EQ(host.calls()[host.calls().size() - 5].handle, panel);

    host.refusePanels(true);
    EXPECT_EQ(toolkit.create(2, controls), nullptr);
    // A refused create is recorded all the same.
    ASSERT_EQ(host.panels().size(), 2u);
    EXPECT_EQ(host.panels()[1].type, 2);
    EXPECT_EQ(host.panels()[1].callOrder, std::vector<std::string>{"create"});
    EXPECT_EQ(host.countCalls("LWXPanel", "create"), 2u);
}

#ifndef _WIN32
TEST(StandInModuleLibrary, LoadErrorsNameThePathAndTheSymbol) {
    std::string error;
    EXPECT_EQ(ModuleLibrary::open("/nonexistent/brelvix.so", error), nullptr);
    EXPECT_NE(error.find("/nonexistent/brelvix.so"), std::string::npos) << error;

    // A library without the descriptor: the C library's mathematics, named
    // by the path it was loaded from.
    Dl_info mathematics{};
    double (*const cosine)(double) = &::cos;
    ASSERT_NE(dladdr(reinterpret_cast<void *>(cosine), &mathematics), 0);
    ASSERT_NE(mathematics.dli_fname, nullptr);
    const std::string path = mathematics.dli_fname;
    error.clear();
    EXPECT_EQ(ModuleLibrary::open(path, error), nullptr);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find("_mod_descrip"), std::string::npos) << error;
}
#endif

int gActivations = 0;

int checkTables(int version, HostLookup lookup, void *local, void *serverData) {
    ++gActivations;
    const auto *const handler = static_cast<const CameraHandler *>(local);
    const bool zero =
        handler->item == nullptr && handler->render == nullptr && handler->preview == nullptr &&
        handler->newFrame == nullptr && handler->evaluate == nullptr && handler->flags == nullptr &&
        handler->instance->privateData == nullptr && handler->instance->create == nullptr;
    return zero && lookup != nullptr && serverData == reinterpret_cast<void *>(4) ? version : -1;
}

TEST(StandInLensTables, ActivatesWithZeroedTablesLinked) {
    StandInHost host;
    LensTables lens;
    std::memset(&lens.instance, 0x5A, sizeof lens.instance);
    EXPECT_EQ(lens.activate(checkTables, host.lookup(), reinterpret_cast<void *>(4)), 2);
    EXPECT_EQ(lens.activate(checkTables, host.lookup(), reinterpret_cast<void *>(4), 7), 7);
    EXPECT_EQ(lens.handler.instance, &lens.instance);
    EXPECT_EQ(gActivations, 2);
}

} // namespace
} // namespace brelvix::standin
