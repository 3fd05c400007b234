// Fuzz target: arbitrary bytes as the scene text that an instance loads.
//
// A fresh instance loads the bytes through the module's load. A load that
// fails returns the host's error text and keeps the cached values; one that
// succeeds leaves each cached value either as it was or a widened float.
// Whatever loaded, the instance then prepares a frame, answers rays, is
// copied and is saved. The saved text must load into another instance to
// the same channels (constant and keys, bit for bit or both NaN) and to the
// saved cached values narrowed to single precision, and saving that instance
// must give the same text again. After the instances are destroyed the
// module holds no block and the host no channel.
#include "fuzz/fuzz_support.h"
#include "instance/camera_instance.h"
#include "tests/support/failing_allocation.h"

#include <array>
#include <string>

namespace brelvix::fuzz {
namespace {

using CachedValues = std::array<double, kParameterCount>;

CameraInstance &record(void *instance) { return *static_cast<CameraInstance *>(instance); }

CachedValues cachedValues(void *instance) {
    CachedValues values{};
    for (int i = 0; i < kParameterCount; ++i) {
        values[static_cast<std::size_t>(i)] = record(instance).*kParameters[i].cached;
    }
    return values;
}

bool isWidenedFloat(double value) {
    return std::isnan(value) || static_cast<double>(static_cast<float>(value)) == value;
}

void checkSameChannels(standin::StandInHost &host, void *expected, void *actual) {
    for (const ParameterInfo &parameter : kParameters) {
        const standin::Channel *const a = host.channel(record(expected).*parameter.channel);
        const standin::Channel *const b = host.channel(record(actual).*parameter.channel);
        FUZZ_CHECK(a != nullptr && b != nullptr, "%s: channel missing", parameter.channelName);
        FUZZ_CHECK(sameValue(a->curve.constant, b->curve.constant), "%s: constant %.17g, not %.17g",
                   parameter.channelName, b->curve.constant, a->curve.constant);
        FUZZ_CHECK(a->curve.keys.size() == b->curve.keys.size(), "%s: %zu keys, not %zu",
                   parameter.channelName, b->curve.keys.size(), a->curve.keys.size());
        for (std::size_t k = 0; k < a->curve.keys.size(); ++k) {
            const standin::Key &ka = a->curve.keys[k];
            const standin::Key &kb = b->curve.keys[k];
            FUZZ_CHECK(sameValue(ka.time, kb.time) && sameValue(ka.value, kb.value),
                       "%s key %zu: (%.17g, %.17g), not (%.17g, %.17g)", parameter.channelName, k,
                       kb.time, kb.value, ka.time, ka.value);
        }
    }
}

void runScene(const std::string &text) {
    ActiveLens active;
    standin::StandInHost &host = active.host;
    const InstanceHandlers &instances = active.lens.instance;
    const CameraHandler &handler = active.lens.handler;

    const char *error = nullptr;
    void *const scene = active.create(&error);
    FUZZ_CHECK(scene != nullptr && error == nullptr, "create failed: %s", error);

    // Load the bytes.
    const CachedValues before = cachedValues(scene);
    standin::SceneReader reader(text);
    const char *const loadError = instances.load(scene, reader.state());
    const CachedValues loaded = cachedValues(scene);
    if (loadError != nullptr) {
        FUZZ_CHECK(std::strncmp(loadError, "Scene line ", 11) == 0, "load error \"%s\"", loadError);
        FUZZ_CHECK(loaded == before, "a failed load changed the cached values");
    }
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        FUZZ_CHECK(sameValue(loaded[i], before[i]) || isWidenedFloat(loaded[i]),
                   "cached value %zu is %.17g", i, loaded[i]);
    }

    // A frame and its rays, whatever the scene held.
    CameraAccess access{};
    access.cameraItem = host.cameraItem();
    access.filmWidth = 0.036;
    access.filmHeight = 0.024;
    const FrameInfo frame{1, 0.0, 1.0, 24.0, 1};
    const char *const frameError = handler.newFrame(scene, &frame, &access);
    FUZZ_CHECK(frameError == nullptr, "frame failed: %s", frameError);
    for (const double fraction : {0.0, 0.5, 1.0}) {
        CameraRay ray{};
        FUZZ_CHECK(handler.evaluate(scene, 0.01, -0.005, 0.3, -0.2, fraction, &ray) == 1,
                   "no ray at fraction %g", fraction);
    }

    // A copy carries the channels.
    void *const copy = active.create(&error);
    FUZZ_CHECK(copy != nullptr, "create failed: %s", error);
    FUZZ_CHECK(instances.copy(copy, scene) == nullptr, "copy gave an error");
    checkSameChannels(host, scene, copy);

    // Save, load back, save again.
    standin::SceneWriter saved;
    const char *const saveError = instances.save(scene, saved.state());
    FUZZ_CHECK(saveError == nullptr, "save failed: %s", saveError);
    void *const reloaded = active.create(&error);
    FUZZ_CHECK(reloaded != nullptr, "create failed: %s", error);
    standin::SceneReader savedReader(saved.text());
    const char *const reloadError = instances.load(reloaded, savedReader.state());
    FUZZ_CHECK(reloadError == nullptr, "the saved scene does not load: %s\n%s", reloadError,
               saved.text().c_str());
    checkSameChannels(host, scene, reloaded);
    const CachedValues sceneValues = cachedValues(scene);
    const CachedValues reloadedValues = cachedValues(reloaded);
    for (std::size_t i = 0; i < sceneValues.size(); ++i) {
        const double narrowed = static_cast<double>(static_cast<float>(sceneValues[i]));
        FUZZ_CHECK(sameValue(reloadedValues[i], narrowed), "cached value %zu: %.17g, not %.17g", i,
                   reloadedValues[i], narrowed);
    }
    standin::SceneWriter savedAgain;
    FUZZ_CHECK(instances.save(reloaded, savedAgain.state()) == nullptr, "second save failed");
    FUZZ_CHECK(savedAgain.text() == saved.text(), "saves differ:\n%s---\n%s", saved.text().c_str(),
               savedAgain.text().c_str());

    instances.destroy(scene);
    instances.destroy(copy);
    instances.destroy(reloaded);
    checkNothingLeft(host);
}

} // namespace
} // namespace brelvix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    brelvix::testing::failAllocation(0);
    brelvix::fuzz::runScene(std::string(reinterpret_cast<const char *>(data), size));
    return 0;
}
