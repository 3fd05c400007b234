// Reading the engine model of Assimp's test set (121,496 triangles) into a
// shot as the renderer does once at its start: in a fresh process each time,
// since a process that has read the model before has its memory ready and
// reads it again several times faster. `direct`: the load alone in a forked
// process, as the renderer read it in its own before; `loading_process`: the
// renderer's road now, the load in the loading process under its limits, the
// shot sent back through the pipe and read. The two side by side show what
// the process boundary costs.
#include "tools/shot/loading_process.h"
#include "tools/shot/shot.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace brelvix::render;

const char *const kModel =
    "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";

void LoadEngine(benchmark::State &state, bool inChild) {
    for (auto _ : state) {
        std::string error;
        if (inChild) {
            const std::unique_ptr<Shot> shot =
                loadShotInChild(kModel, ShotRequest{}, LoadLimits{}, error);
            if (!shot) {
                state.SkipWithError(error.c_str());
                return;
            }
            benchmark::DoNotOptimize(shot.get());
            continue;
        }
        const pid_t child = fork();
        if (child == 0) {
            _exit(Shot::load(kModel, "", error) ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the model did not load");
            return;
        }
    }
}

BENCHMARK_CAPTURE(LoadEngine, direct, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(LoadEngine, loading_process, true)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
