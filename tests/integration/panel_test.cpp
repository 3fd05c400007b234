// The properties panel through the built module file: activation, the three
// tables word for word, and the getter and setter the toolkit calls.
#include "host/standin_host.h"
#include "tests/integration/loaded_module.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace brelvix::integration {
namespace {

struct Row {
    uintptr_t id;
    std::string text;  // label or name
    std::string klass; // control class or data type
};

const std::vector<Row> kExpectedControls = {
    {0x8001, "Zoom Factor", "float-env"},        {0x8002, "", "sInfo"},
    {0x8003, "Horizontal Shift", "percent-env"}, {0x8004, "Vertical Shift", "percent-env"},
    {0x8005, "StereoDistance", "distance-env"},  {0x8006, "StereoAngle", "angle-env"},
};

const std::vector<Row> kExpectedData = {
    {0x8001, "", "float-env"},   {0x8002, "", "string"},       {0x8003, "", "percent-env"},
    {0x8004, "", "percent-env"}, {0x8005, "", "distance-env"}, {0x8006, "", "angle-env"},
};

class Panel : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        module = standin::ModuleLibrary::open(BRELVIX_MODULE_PATH, error);
        ASSERT_NE(module, nullptr) << error;
        panelServer = module->server("CameraInterface");
        ASSERT_NE(panelServer, nullptr);
    }

    void activateLens() {
        ASSERT_EQ(lens.activate(module->server("CameraHandler")->activate, host.lookup(),
                                module->serverData()),
                  0);
    }

    void *createInstance() {
        const std::size_t first = host.calls().size();
        const char *error = nullptr;
        void *const instance =
            lens.instance.create(lens.instance.privateData, host.cameraItem(), &error);
        EXPECT_NE(instance, nullptr) << (error ? error : "");
        made[instance] = channelsMadeSince(host, first);
        return instance;
    }

    /// The handle of the channel the module set up for a parameter.
    void *channelOf(void *instance, Parameter parameter) const {
        return made.at(instance).handles[static_cast<std::size_t>(parameter)];
    }

    standin::Curve &curve(void *instance, Parameter parameter) {
        return host.channel(channelOf(instance, parameter))->curve;
    }

    /// A preview with this film height, which the focal-length line then reads.
    void previewWithFilmHeight(void *instance, double filmHeight) {
        CameraAccess access{};
        access.cameraItem = host.cameraItem();
        access.filmWidth = 0.036;
        access.filmHeight = filmHeight;
        double matrix[16];
        ASSERT_EQ(lens.handler.preview(instance, 0.0, 0.0, matrix, &access), 1);
    }

    std::string line(void *instance) const {
        return static_cast<const char *>(get(instance, kFocalLengthLine));
    }

    int activatePanel(InterfaceRecord &record, int version = 4) {
        return panelServer->activate(version, host.lookup(), &record, module->serverData());
    }

    /// Activates the lens and a panel for a new instance; the test owns it.
    void *instanceWithPanel() {
        activateLens();
        void *const instance = createInstance();
        InterfaceRecord record{instance, nullptr, nullptr, nullptr};
        EXPECT_EQ(activatePanel(record), 0);
        EXPECT_EQ(host.panels().size(), 1u);
        return instance;
    }

    const standin::RecordedPanel &panel() const { return host.panels().back(); }

    void *get(void *instance, uintptr_t id) const { return panel().getter(instance, id); }
    int set(void *instance, uintptr_t id, double value) const {
        return panel().setter(instance, id, &value);
    }

    std::unique_ptr<standin::ModuleLibrary> module;
    const ServerRecord *panelServer = nullptr;
    standin::StandInHost host;
    standin::LensTables lens;
    std::map<void *, MadeChannels> made;
};

TEST_F(Panel, ActivationResults) {
    InterfaceRecord record{&record, &record, &record, &record};
    const InterfaceRecord original = record;
    for (const int version : {3, 5}) {
        EXPECT_EQ(activatePanel(record, version), 1);
        EXPECT_TRUE(host.lookups().empty());
    }

    host.withholdService("LWXPanel");
    EXPECT_EQ(activatePanel(record), 2);
    EXPECT_EQ(host.lookups(), (std::vector<std::string>{"Instance Update", "LWXPanel"}));
    EXPECT_EQ(std::memcmp(&record, &original, sizeof record), 0);
    EXPECT_TRUE(host.panels().empty());
}

TEST_F(Panel, AStoredInstanceUpdateOutlivesAMissingToolkit) {
    void *const instance = instanceWithPanel();
    const standin::RecordedPanel recorded = panel();
    {
        // A second activation without the toolkit keeps the lookup function
        // and "Instance Update": the first panel's setter still notifies.
        host.withholdService("LWXPanel");
        InterfaceRecord again{instance, nullptr, nullptr, nullptr};
        EXPECT_EQ(activatePanel(again), 2);
    }
    double value = 1.5;
    EXPECT_EQ(recorded.setter(instance, 0x8001, &value), 1);
    EXPECT_EQ(host.instanceUpdates().size(), 1u);
    lens.instance.destroy(instance);
}

TEST_F(Panel, NoPanelFromTheToolkitStillSucceedsAndLeavesTheRecord) {
    host.refusePanels(true);
    InterfaceRecord record{&record, &record, &record, &record};
    const InterfaceRecord original = record;
    EXPECT_EQ(activatePanel(record), 0);
    EXPECT_EQ(std::memcmp(&record, &original, sizeof record), 0);
    ASSERT_EQ(host.panels().size(), 1u);
    EXPECT_EQ(panel().callOrder, (std::vector<std::string>{"create"}));
}

TEST_F(Panel, ActivationHandsTheToolkitItsTablesInOrder) {
    activateLens();
    void *const instance = createInstance();
    InterfaceRecord record{instance, nullptr, &record, &record};
    ASSERT_EQ(activatePanel(record), 0);
    const standin::RecordedPanel &recorded = panel();
    EXPECT_EQ(recorded.callOrder,
              (std::vector<std::string>{"create", "describe", "hint", "viewInstance", "setData"}));
    EXPECT_EQ(recorded.type, 1);
    EXPECT_NE(record.panel, nullptr);
    EXPECT_EQ(record.options, nullptr);
    EXPECT_EQ(record.command, nullptr);
    EXPECT_EQ(record.instance, instance);
    EXPECT_EQ(recorded.viewedInstances, (std::vector<void *>{instance}));
    ASSERT_EQ(recorded.data.size(), 1u);
    EXPECT_EQ(recorded.data[0].first, 0u);
    EXPECT_EQ(recorded.data[0].second, instance);
    lens.instance.destroy(instance);
}

TEST_F(Panel, ControlAndDataTablesWordForWord) {
    void *const instance = instanceWithPanel();
    const standin::RecordedPanel &recorded = panel();
    struct Table {
        const char *name;
        std::vector<Row> expected;
        std::vector<Row> actual;
        bool closed;
    };
    Table tables[2] = {{"controls", kExpectedControls, {}, false},
                       {"data", kExpectedData, {}, false}};
    for (const PanelControl &control : recorded.controls) {
        if (control.id == 0) {
            tables[0].closed = control.label == nullptr && control.controlClass == nullptr;
            break;
        }
        tables[0].actual.push_back({control.id, control.label ? control.label : "(null)",
                                    control.controlClass ? control.controlClass : "(null)"});
    }
    for (const PanelDataDesc &desc : recorded.dataDescs) {
        if (desc.id == 0) {
            tables[1].closed = desc.name == nullptr && desc.dataType == nullptr;
            break;
        }
        tables[1].actual.push_back(
            {desc.id, desc.name ? desc.name : "(null)", desc.dataType ? desc.dataType : "(null)"});
    }
    for (const Table &table : tables) {
        SCOPED_TRACE(table.name);
        EXPECT_TRUE(table.closed);
        ASSERT_EQ(table.actual.size(), table.expected.size());
        for (std::size_t i = 0; i < table.expected.size(); ++i) {
            EXPECT_EQ(table.actual[i].id, table.expected[i].id) << i;
            EXPECT_EQ(table.actual[i].text, table.expected[i].text) << i;
            EXPECT_EQ(table.actual[i].klass, table.expected[i].klass) << i;
        }
    }
    EXPECT_EQ(recorded.controls.size(), 7u);
    EXPECT_EQ(recorded.dataDescs.size(), 7u);
    lens.instance.destroy(instance);
}

TEST_F(Panel, HintListWordForWord) {
    void *const instance = instanceWithPanel();
    const standin::RecordedPanel &recorded = panel();
    ASSERT_EQ(recorded.hints.size(), 1u);
    EXPECT_EQ(recorded.hints[0].first, 0u);
    const std::vector<intptr_t> &words = recorded.hints[0].second;
    ASSERT_GT(words.size(), 21u);
    // The label text and the callback are pointers into the module.
    const intptr_t title = words[17];
    const intptr_t callback = words[20];
    ASSERT_NE(title, 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(title), "Perspective Control Camera");
    EXPECT_EQ(callback, reinterpret_cast<intptr_t>(module->descriptor().shutdown));
    const std::vector<intptr_t> expected = {
        0x3D01FE81, 0x8008,   0x8001, 0x8002,     0, // group: zoom and its read-out
        0x3D01FE81, 0x800A,   0x8005, 0x8006,     0, // group: stereo
        0x3D01FE81, 0x8009,   0x8003, 0x8004,     0, // group: shifts
        0x3D000B03, 0,        title,  0,             // the panel's label
        0x3D000F01, callback,                        // callback
        0x3D001302, callback, 0,                     // callback
        0x3D014002, 0x8001,   0,      0x3D014202, 0x8001, 1,     0x3D014002, 0x8003, -1000,
        0x3D014102, 0x8003,   1000,   0x3D014002, 0x8004, -1000, 0x3D014102, 0x8004, 1000,
        0x3D014002, 0x8006,   -90,    0x3D014102, 0x8006, 90,    0x3D001201, -1,     0,
    };
    EXPECT_EQ(words, expected);
    // -1000 is stored as a signed word.
    EXPECT_EQ(static_cast<uint32_t>(words[32]), 0xFFFFFC18u);
    lens.instance.destroy(instance);
}

TEST_F(Panel, GetterAnswersEachId) {
    void *const instance = instanceWithPanel();
    // Each envelope id answers the channel the module set up under that
    // parameter's name.
    const std::pair<uintptr_t, void *> channels[] = {
        {0x8001, channelOf(instance, kZoom)},   {0x8003, channelOf(instance, kHShift)},
        {0x8004, channelOf(instance, kVShift)}, {0x8005, channelOf(instance, kDistance)},
        {0x8006, channelOf(instance, kAngle)},
    };
    for (const auto &[id, channel] : channels) {
        EXPECT_NE(channel, nullptr);
        EXPECT_EQ(get(instance, id), channel) << std::hex << id;
    }
    for (const uintptr_t id :
         {uintptr_t{0}, uintptr_t{0x8007}, uintptr_t{0x8008}, uintptr_t{0x8000}, ~uintptr_t{0}}) {
        EXPECT_EQ(get(instance, id), nullptr) << std::hex << id;
    }
    // The line is the instance's own text: the same address each time, and
    // another instance's elsewhere.
    const void *const text = get(instance, 0x8002);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(static_cast<const char *>(text)).rfind("Focal Length ", 0), 0u);
    EXPECT_EQ(get(instance, 0x8002), text);
    void *const other = createInstance();
    EXPECT_NE(get(other, 0x8002), text);
    lens.instance.destroy(other);
    lens.instance.destroy(instance);
}

TEST_F(Panel, FocalLengthLineUsesTheZoomChannelAtTheCurrentTime) {
    void *const instance = instanceWithPanel();
    // Before any preview or frame the film height is 0.
    EXPECT_STREQ(static_cast<const char *>(get(instance, 0x8002)), "Focal Length 0.0mm");

    previewWithFilmHeight(instance, 0.02);
    ASSERT_EQ(set(instance, 0x8001, 7.0), 1); // the line ignores the cached value
    standin::Curve &zoom = curve(instance, kZoom);
    zoom.setKey(0.0, 1.0);
    zoom.setKey(2.0, 3.0);
    host.setCurrentTime(1.0);
    EXPECT_STREQ(static_cast<const char *>(get(instance, 0x8002)), "Focal Length 20.0mm");
    host.setCurrentTime(2.0);
    EXPECT_STREQ(static_cast<const char *>(get(instance, 0x8002)), "Focal Length 30.0mm");
    lens.instance.destroy(instance);
}

TEST_F(Panel, FocalLengthLineFollowsTheFilmOfTheLastPreviewOrFrame) {
    void *const instance = instanceWithPanel();
    curve(instance, kZoom) = standin::Curve{2.0, {}};
    CameraAccess access{};
    access.cameraItem = host.cameraItem();
    access.filmWidth = 0.036;
    access.filmHeight = 0.02;
    double matrix[16];
    ASSERT_EQ(lens.handler.preview(instance, 0.0, 0.0, matrix, &access), 1);
    EXPECT_STREQ(static_cast<const char *>(get(instance, 0x8002)), "Focal Length 20.0mm");

    access.filmHeight = 0.035;
    const FrameInfo frame{1, 0.0, 1.0, 24.0, 0};
    ASSERT_EQ(lens.handler.newFrame(instance, &frame, &access), nullptr);
    EXPECT_STREQ(static_cast<const char *>(get(instance, 0x8002)), "Focal Length 35.0mm");
    lens.instance.destroy(instance);
}

TEST_F(Panel, FocalLengthLineNeverOverflows) {
    void *const instance = instanceWithPanel();
    // With a film height of 2 the line shows the zoom times 1000, exactly.
    previewWithFilmHeight(instance, 2.0);
    // A terminator missing from a line would show as the x's after it.
    std::memset(get(instance, 0x8002), 'x', kFocalLengthLineSize);
    const struct {
        double zoom;
        const char *line;
    } cases[] = {
        {0.02, "Focal Length 20.0mm"},
        {-10.0, "Focal Length -10000.0mm"},
        {1e18, "Focal Length 1000000000000000000000.0mm"}, // 22 digits fit
        {1e19, "Focal Length 1.000e+22mm"},                // 23 do not
        {-1e18, "Focal Length -1.000e+21mm"},
        {1e300, "Focal Length 1.000e+303mm"},
    };
    for (const auto &c : cases) {
        curve(instance, kZoom) = standin::Curve{c.zoom, {}};
        const char *const text = static_cast<const char *>(get(instance, 0x8002));
        ASSERT_LT(strnlen(text, kFocalLengthLineSize), std::size_t{kFocalLengthLineSize}) << c.zoom;
        EXPECT_STREQ(text, c.line) << c.zoom;
    }
    lens.instance.destroy(instance);
}

TEST_F(Panel, SetterStoresTheCachedValueAndNotifies) {
    void *const instance = instanceWithPanel();
    // The cached values show in the numbers a save writes.
    const struct {
        uintptr_t id;
        Parameter parameter;
    } editable[] = {
        {0x8001, kZoom},     {0x8003, kHShift}, {0x8004, kVShift},
        {0x8005, kDistance}, {0x8006, kAngle},
    };
    for (const auto &e : editable) {
        SCOPED_TRACE(e.id);
        host.clearRecords();
        EXPECT_EQ(set(instance, e.id, 3.5), 1);
        EXPECT_EQ(savedNumbers(lens.instance, instance)[e.parameter], 3.5);
        ASSERT_EQ(host.instanceUpdates().size(), 1u);
        EXPECT_EQ(host.instanceUpdates()[0].first, "CameraHandler");
        EXPECT_EQ(host.instanceUpdates()[0].second, instance);
    }
    // The channel is not changed: sampling brings the channel's value back.
    EXPECT_EQ(curve(instance, kZoom).at(0.0), 2.6217);

    // Other ids and a null value change nothing of the instance: its save
    // and its line stay as they were.
    standin::SceneWriter before;
    ASSERT_EQ(lens.instance.save(instance, before.state()), nullptr);
    const std::string lineBefore = line(instance);
    host.clearRecords();
    for (const uintptr_t id : {uintptr_t{0x8002}, uintptr_t{0}, uintptr_t{0x8007}}) {
        EXPECT_EQ(set(instance, id, 9.0), 0) << id;
    }
    EXPECT_EQ(panel().setter(instance, 0x8001, nullptr), 0);
    EXPECT_TRUE(host.instanceUpdates().empty());
    standin::SceneWriter after;
    ASSERT_EQ(lens.instance.save(instance, after.state()), nullptr);
    EXPECT_EQ(after.text(), before.text());
    EXPECT_EQ(line(instance), lineBefore);
    lens.instance.destroy(instance);
}

TEST_F(Panel, SetterWithoutInstanceUpdateStoresSilently) {
    activateLens();
    void *const instance = createInstance();
    host.withholdService("Instance Update");
    InterfaceRecord record{instance, nullptr, nullptr, nullptr};
    ASSERT_EQ(activatePanel(record), 0);
    EXPECT_EQ(set(instance, 0x8005, 0.0625), 1);
    EXPECT_EQ(savedNumbers(lens.instance, instance)[kDistance], 0.0625);
    EXPECT_TRUE(host.instanceUpdates().empty());
    lens.instance.destroy(instance);
}

TEST_F(Panel, GetterWorksWithoutAParameterService) {
    // A module whose latest lens activation found no parameter service (as
    // one shown a panel before any lens activation) has none: the line uses
    // the cached zoom and asks no parameter service.
    activateLens();
    void *const instance = createInstance();
    previewWithFilmHeight(instance, 0.02);
    {
        standin::StandInHost withoutParameters;
        withoutParameters.withholdService("LWVParmFuncs 2");
        standin::LensTables again;
        ASSERT_EQ(again.activate(module->server("CameraHandler")->activate,
                                 withoutParameters.lookup(), module->serverData()),
                  2);
    }
    InterfaceRecord record{instance, nullptr, nullptr, nullptr};
    ASSERT_EQ(activatePanel(record), 0);
    ASSERT_EQ(set(instance, 0x8001, 2.0), 1);
    host.clearRecords();
    EXPECT_STREQ(static_cast<const char *>(get(instance, 0x8002)), "Focal Length 20.0mm");
    // Neither the time nor a channel value was asked for.
    EXPECT_TRUE(host.lookups().empty());
    EXPECT_TRUE(host.calls().empty());
    // The lens activated again destroys the instance's channels as usual.
    activateLens();
    lens.instance.destroy(instance);
}

TEST_F(Panel, GetterWithoutTimeInfoUsesTimeZero) {
    activateLens();
    void *const instance = createInstance();
    previewWithFilmHeight(instance, 0.02);
    standin::Curve &zoom = curve(instance, kZoom);
    zoom.setKey(0.0, 4.0);
    zoom.setKey(1.0, 8.0);
    host.setCurrentTime(1.0);
    host.withholdService("LW Time Info");
    InterfaceRecord panelRecord{instance, nullptr, nullptr, nullptr};
    ASSERT_EQ(activatePanel(panelRecord), 0);
    EXPECT_STREQ(static_cast<const char *>(get(instance, 0x8002)), "Focal Length 40.0mm");
    lens.instance.destroy(instance);
}

TEST_F(Panel, GetterWithoutAZoomChannelUsesTheCachedZoom) {
    activateLens();
    host.failChannelOperation(standin::ChannelOperation::Create, 1);
    void *const instance = createInstance();
    ASSERT_EQ(channelOf(instance, kZoom), nullptr);
    previewWithFilmHeight(instance, 0.02);
    InterfaceRecord panelRecord{instance, nullptr, nullptr, nullptr};
    ASSERT_EQ(activatePanel(panelRecord), 0);
    ASSERT_EQ(set(instance, 0x8001, 3.0), 1);
    EXPECT_STREQ(static_cast<const char *>(get(instance, 0x8002)), "Focal Length 30.0mm");
    EXPECT_EQ(get(instance, 0x8001), nullptr);
    lens.instance.destroy(instance);
}

} // namespace
} // namespace brelvix::integration
