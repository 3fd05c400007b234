// Rays per second through the world library's Embree tracer on the largest
// model of Assimp's test set: camera-like rays from the file's own camera
// over a 960 x 320 film, each closest hit followed by a shadow ray toward a
// sun. On one thread and on two (the renderer runs one such loop per core,
// all on one tracer); with Embree's own instruction set and pinned to SSE2.
#include "tools/world/tracer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

using namespace brelvix::world;

const char *const kModel =
    "/usr/share/assimp/models/glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";
constexpr int kFilmWidth = 960;
constexpr int kFilmHeight = 320;

const WorldScene &engine() {
    static const WorldScene scene = [] {
        std::string error;
        auto loaded = loadScene(kModel, error);
        if (!loaded) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
        return *loaded;
    }();
    return scene;
}

/// The ray through film pixel (x, y) of the scene's first camera.
Ray cameraRay(const Camera &camera, double aspect, int x, int y) {
    const double tanHalf = std::tan(0.5 * camera.verticalFov);
    const double u = (2.0 * (x + 0.5) / kFilmWidth - 1.0) * tanHalf * aspect;
    const double v = (1.0 - 2.0 * (y + 0.5) / kFilmHeight) * tanHalf;
    return {camera.position, normalize(camera.forward + camera.right * u + camera.up * v)};
}

/// One tracer per instruction set, built once and shared by the threads.
const Tracer &tracerFor(const std::string &isa) {
    static std::map<std::string, std::unique_ptr<Tracer>> tracers;
    static std::mutex guard;
    const std::lock_guard lock(guard);
    std::unique_ptr<Tracer> &tracer = tracers[isa];
    if (!tracer) {
        std::string error;
        tracer = Tracer::create(engine().meshes, {}, {}, {isa, 0}, error);
        if (!tracer) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::exit(1);
        }
    }
    return *tracer;
}

void TraceEngine(benchmark::State &state, const std::string &isa) {
    const WorldScene &scene = engine();
    const Tracer &tracer = tracerFor(isa);
    const Camera camera =
        scene.cameras.empty() ? framingCamera(scene.bounds, 0.8, 3.0) : scene.cameras.front();
    const double aspect = double(kFilmWidth) / kFilmHeight;
    const Vec3 toSun = normalize({-0.45, 0.80, -0.40});
    // Threads start at different rows of the film.
    int pixel = state.thread_index() * kFilmWidth * (kFilmHeight / 2);
    int hits = 0;
    int lit = 0;
    for (auto _ : state) {
        const Ray ray = cameraRay(camera, aspect, pixel % kFilmWidth, pixel / kFilmWidth);
        pixel = (pixel + 1) % (kFilmWidth * kFilmHeight);
        const Hit hit = tracer.closestHit(ray);
        if (hit.kind != Hit::Kind::Sky) {
            ++hits;
            const Ray shadow{hit.point + hit.geometricNormal * 1e-4, toSun};
            lit += tracer.occluded(shadow) ? 0 : 1;
        }
        benchmark::DoNotOptimize(lit);
    }
    state.counters["camera_rays_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    std::size_t triangles = 0;
    for (const Mesh &mesh : scene.meshes) {
        triangles += mesh.triangles.size();
    }
    state.counters["triangles"] =
        benchmark::Counter(static_cast<double>(triangles), benchmark::Counter::kAvgThreads);
    state.counters["hit_share"] = benchmark::Counter(
        static_cast<double>(hits) / static_cast<double>(std::max<int64_t>(state.iterations(), 1)),
        benchmark::Counter::kAvgThreads);
}

BENCHMARK_CAPTURE(TraceEngine, embree_choice, std::string())->Threads(1)->Threads(2);
BENCHMARK_CAPTURE(TraceEngine, sse2, std::string("sse2"))->Threads(1)->Threads(2);

} // namespace

BENCHMARK_MAIN();
