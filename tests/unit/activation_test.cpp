#include "instance/camera_instance.h"
#include "module/descriptor.h"
#include "panel/panel_server.h"
#include "shared/services.h"

#include "host/standin_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace brelvix {
namespace {

const std::vector<std::string> kLensServices = {kParameterServiceName, kItemInfoServiceName,
                                                kEnvelopeServiceName, kTimeInfoServiceName,
                                                kCameraInfoServiceName};

// Fills both tables with a recognisable pattern so that any write shows.
void fillWithSentinels(standin::LensTables &lens) {
    std::memset(&lens.handler, 0xA5, sizeof lens.handler);
    std::memset(&lens.instance, 0x5A, sizeof lens.instance);
    lens.handler.instance = &lens.instance;
}

bool untouched(const standin::LensTables &lens) {
    standin::LensTables expected;
    fillWithSentinels(expected);
    return std::memcmp(&lens.instance, &expected.instance, sizeof lens.instance) == 0 &&
           std::memcmp(&lens.handler.item, &expected.handler.item,
                       sizeof lens.handler - sizeof lens.handler.instance) == 0;
}

int activateWithSentinels(standin::LensTables &lens, HostLookup lookup, int version) {
    fillWithSentinels(lens);
    return activateLens(version, lookup, &lens.handler, startupModule());
}

TEST(Descriptor, NamesTwoServersWithOneTagList) {
    EXPECT_EQ(_mod_descrip.syncWord, 0x04121994u);
    EXPECT_EQ(_mod_descrip.systemVersion, 3u);
    // The host's machine word: Windows (both widths), or Linux.
#if defined(_WIN32)
    EXPECT_EQ(_mod_descrip.machineWord, 0x300u);
#else
    EXPECT_EQ(_mod_descrip.machineWord, 0x500u);
#endif
    const ServerRecord *const servers = _mod_descrip.servers;
    ASSERT_NE(servers, nullptr);
    EXPECT_STREQ(servers[0].className, "CameraHandler");
    EXPECT_STREQ(servers[1].className, "CameraInterface");
    for (int i = 0; i < 2; ++i) {
        EXPECT_STREQ(servers[i].name, "Brelvix0.1.5");
        EXPECT_EQ(servers[i].tags, servers[0].tags);
        EXPECT_NE(servers[i].activate, nullptr);
    }
    EXPECT_EQ(servers[0].activate, activateLens);
    EXPECT_EQ(servers[1].activate, activatePanel);
    EXPECT_EQ(servers[2].className, nullptr);
    EXPECT_EQ(servers[2].name, nullptr);
    EXPECT_EQ(servers[2].activate, nullptr);
    EXPECT_EQ(servers[2].tags, nullptr);
    EXPECT_STREQ(servers[0].tags[0].text, "Brelvix 0.1.5");
    EXPECT_EQ(servers[0].tags[0].tag, 0u);
    EXPECT_EQ(servers[0].tags[1].text, nullptr);
}

TEST(Descriptor, StartupReturnsFourAndShutdownAcceptsAnything) {
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(reinterpret_cast<uintptr_t>(_mod_descrip.startup()), 4u);
    }
    int anything = 0;
    _mod_descrip.shutdown(nullptr);
    _mod_descrip.shutdown(&anything);
    _mod_descrip.shutdown(_mod_descrip.startup());
    EXPECT_EQ(anything, 0);
}

TEST(LensActivation, RefusesOtherVersionsWithoutLookingAnythingUp) {
    for (const int version : {-1, 0, 1, 3, 4, 100}) {
        SCOPED_TRACE(version);
        standin::StandInHost host;
        standin::LensTables lens;
        EXPECT_EQ(activateWithSentinels(lens, host.lookup(), version), 1);
        EXPECT_TRUE(host.lookups().empty());
        EXPECT_TRUE(untouched(lens));
    }
}

TEST(LensActivation, AnyMissingServiceGivesTwoAndLeavesTheTablesAlone) {
    for (const std::string &missing : kLensServices) {
        SCOPED_TRACE(missing);
        standin::StandInHost host;
        host.withholdService(missing);
        standin::LensTables lens;
        EXPECT_EQ(activateWithSentinels(lens, host.lookup(), 2), 2);
        EXPECT_TRUE(untouched(lens));
        // All five are asked for before any answer is examined.
        EXPECT_EQ(host.lookups(), kLensServices);
        // What was found stays stored.
        EXPECT_EQ(gHostServices.lookup, host.lookup());
        EXPECT_EQ(gHostServices.parameters == nullptr, missing == kParameterServiceName);
        EXPECT_EQ(gHostServices.cameras == nullptr, missing == kCameraInfoServiceName);
    }
}

TEST(LensActivation, FillsTheTablesAndLeavesItemAndRenderTables) {
    standin::StandInHost host;
    standin::LensTables lens;
    fillWithSentinels(lens);
    void *const item = lens.handler.item;
    void *const render = lens.handler.render;
    ASSERT_EQ(activateLens(2, host.lookup(), &lens.handler, startupModule()), 0);
    EXPECT_EQ(host.lookups(), kLensServices);
    EXPECT_EQ(lens.instance.privateData, reinterpret_cast<void *>(host.lookup()));
    EXPECT_EQ(lens.handler.item, item);
    EXPECT_EQ(lens.handler.render, render);
    EXPECT_EQ(lens.handler.instance, &lens.instance);
    EXPECT_EQ(lens.instance.create, createInstance);
    EXPECT_EQ(lens.instance.destroy, destroyInstance);
    EXPECT_EQ(lens.instance.copy, copyInstance);
    EXPECT_EQ(lens.instance.describe, describeInstance);
    EXPECT_NE(lens.instance.load, nullptr);
    EXPECT_NE(lens.instance.save, nullptr);
    EXPECT_EQ(lens.handler.flags, lensFlags);
    EXPECT_EQ(lens.handler.flags(nullptr), 1u);
    EXPECT_STREQ(lens.instance.describe(nullptr), "Brelvix");
}

} // namespace
} // namespace brelvix
