// Reading scene files of the host as they grow: a chain of parents, plug-in
// lines without their EndPlugin, items aiming at each other's parents. Each
// shape is timed at several sizes and fitted; a reader that is linear in the
// file (n log n for the ids) reports O(N) or O(NlgN), never O(N^2).
#include "tools/lightwave/item_motion.h"
#include "tools/lightwave/scene_reader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

namespace {

namespace lw = brelvix::lightwave;

std::string id(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// Nulls each the child of the one before, the last aiming at the first.
std::string chain(long count) {
    std::string text = "LWSC\n5\n";
    for (long i = 0; i < count; ++i) {
        text += "AddNullObject " + id(lw::kObjectIdBase + static_cast<unsigned>(i)) + " N\n";
        if (i > 0) {
            text += "ParentItem " + id(lw::kObjectIdBase + static_cast<unsigned>(i - 1)) + "\n";
        }
    }
    return text + "TargetItem 10000000\n";
}

// Plug-in lines, none closed, between the items.
std::string plugins(long count) {
    std::string text = "LWSC\n5\n";
    for (long i = 0; i < count; ++i) {
        text += "AddNullObject\nPlugin ObjReplacementHandler 1 Unclosed\n";
    }
    return text;
}

void read(benchmark::State &state, std::string (*make)(long)) {
    const std::string text = make(state.range(0));
    for (auto _ : state) {
        const lw::SceneResult result = lw::readScene(text, "bench.lws");
        if (!result.scene) {
            state.SkipWithError(result.error.c_str());
            return;
        }
        benchmark::DoNotOptimize(lw::worldPoses(*result.scene, 0.5));
    }
    state.SetComplexityN(state.range(0));
}

void ParentChain(benchmark::State &state) { read(state, chain); }
void UnclosedPlugins(benchmark::State &state) { read(state, plugins); }

BENCHMARK(ParentChain)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();
BENCHMARK(UnclosedPlugins)->RangeMultiplier(4)->Range(1 << 10, 1 << 16)->Complexity();

} // namespace

BENCHMARK_MAIN();
