// What the lens costs the host's renderer, measured the way the host meets it:
// the built module file loaded through the stand-in host, the per-frame call
// and the ray evaluation called through the lens handler table.
//
// The rays are compared with a textbook thin-lens perspective camera written
// here from the formula and called through a function pointer of the same
// signature, so both sides pay the same indirect call; the same camera called
// directly (inlined into the loop) is reported as well. After the table the
// program prints each ray case's ratio to the baseline, from the same run.
//
// Usage: brelvix_lens_bench [--module=PATH] [benchmark flags]
// The module defaults to the brelvix.so built beside this program. For steady
// figures: --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "bench/ratio_reporter.h"
#include "bench/thin_lens_baseline.h"
#include "host/standin_host.h"
#include "instance/camera_instance.h"
#include "interface/host_services.h"
#include "lens/motion_sample.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace brelvix::bench {
namespace {

using EvaluateFunction = int (*)(void *instance, double filmX, double filmY, double lensX,
                                 double lensY, double shutterFraction, CameraRay *ray);

constexpr double kFilmWidth = 0.036;
constexpr double kFilmHeight = 0.024;
/// Motion steps of the frame the rays are cast in: 16 intervals, 17 records.
constexpr int32_t kRayFrameMotionSteps = 4;
/// Eye angle of the turned case: two degrees, in radians.
constexpr double kTurnedEyeAngle = 0.0349066;

// --- the arguments the renderer hands over --------------------------------------

struct RayArguments {
    double filmX;
    double filmY;
    double lensX;
    double lensY;
    double shutterFraction;
};

/// A power of two, so that cycling through the arguments is one mask.
constexpr std::size_t kArgumentCount = 4096;

/// Film points in the order a renderer visits them, row by row over a 64 by
/// 64 grid (both eyes' halves), each jittered within its cell; lens points
/// uniform over the aperture disc; shutter fractions uniform over [0, 1).
std::vector<RayArguments> makeRayArguments() {
    constexpr int kColumns = 64;
    constexpr int kRows = static_cast<int>(kArgumentCount) / kColumns;
    std::mt19937_64 random(20261208);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<RayArguments> arguments;
    arguments.reserve(kArgumentCount);
    for (int row = 0; row < kRows; ++row) {
        for (int column = 0; column < kColumns; ++column) {
            RayArguments a{};
            a.filmX = ((column + unit(random)) / kColumns - 0.5) * kFilmWidth;
            a.filmY = (0.5 - (row + unit(random)) / kRows) * kFilmHeight;
            do {
                a.lensX = 2.0 * unit(random) - 1.0;
                a.lensY = 2.0 * unit(random) - 1.0;
            } while (a.lensX * a.lensX + a.lensY * a.lensY > 1.0);
            a.shutterFraction = unit(random);
            arguments.push_back(a);
        }
    }
    return arguments;
}

// --- the module, loaded as the host loads it -------------------------------------

/// The module file, the stand-in host and the lens's instances: one for each
/// ray case, one for the per-frame benchmark, one to check the baseline.
class Session {
  public:
    static std::unique_ptr<Session> open(const std::string &modulePath, std::string &error) {
        std::unique_ptr<Session> session(new Session);
        session->module_ = standin::ModuleLibrary::open(modulePath, error);
        if (session->module_ == nullptr) {
            return nullptr;
        }
        const ServerRecord *server = session->module_->server("CameraHandler");
        if (server == nullptr) {
            error = modulePath + ": no \"CameraHandler\" server";
            return nullptr;
        }
        if (session->lens_.activate(server->activate, session->host_.lookup(),
                                    session->module_->serverData()) != 0) {
            error = modulePath + ": the lens activation failed";
            return nullptr;
        }
        session->access_.cameraItem = session->host_.cameraItem();
        session->access_.filmWidth = kFilmWidth;
        session->access_.filmHeight = kFilmHeight;
        session->setUpCamera();
        return session;
    }

    ~Session() {
        for (void *instance : instances_) {
            lens_.instance.destroy(instance);
        }
    }

    const CameraHandler &handler() const { return lens_.handler; }
    standin::StandInHost &host() { return host_; }
    const CameraAccess &access() const { return access_; }

    /// A new instance with these lens parameters; null with `error` set when
    /// the module refuses.
    void *makeInstance(double hShift, double vShift, double eyeDistance, double eyeAngle,
                       std::string &error) {
        const char *failure = nullptr;
        void *instance =
            lens_.instance.create(lens_.instance.privateData, host_.cameraItem(), &failure);
        if (instance == nullptr) {
            error = failure != nullptr ? failure : "instance create failed";
            return nullptr;
        }
        instances_.push_back(instance);
        const CameraInstance &record = *static_cast<const CameraInstance *>(instance);
        // The zoom changes during the frame, so the records differ in more than
        // the camera's place.
        standin::Curve &zoom = host_.channel(record.zoomChannel)->curve;
        zoom.setKey(0.0, 2.4);
        zoom.setKey(2.0, 2.8);
        host_.channel(record.hShiftChannel)->curve = standin::Curve{hShift, {}};
        host_.channel(record.vShiftChannel)->curve = standin::Curve{vShift, {}};
        host_.channel(record.distanceChannel)->curve = standin::Curve{eyeDistance, {}};
        host_.channel(record.angleChannel)->curve = standin::Curve{eyeAngle, {}};
        return instance;
    }

    /// The per-frame call for the frame the rays are cast in.
    const char *prepareRayFrame(void *instance) {
        const FrameInfo frame{24, 1.0, 0.5, 24.0, kRayFrameMotionSteps};
        return lens_.handler.newFrame(instance, &frame, &access_);
    }

  private:
    Session() = default;

    /// A camera that moves, turns and refocuses during the frame, its axes
    /// handed back at lengths other than 1.
    void setUpCamera() {
        standin::CameraItem &camera = host_.camera();
        camera.position[0].setKey(0.0, -1.0);
        camera.position[0].setKey(2.0, 1.5);
        camera.position[1].constant = 1.6;
        camera.position[2].setKey(0.0, -4.0);
        camera.position[2].setKey(2.0, -3.0);
        camera.heading.setKey(0.0, 0.2);
        camera.heading.setKey(2.0, 0.5);
        camera.pitch.constant = -0.15;
        camera.bank.setKey(0.0, 0.0);
        camera.bank.setKey(2.0, 0.05);
        camera.focalDistance.setKey(0.0, 3.0);
        camera.focalDistance.setKey(2.0, 4.0);
        camera.fStop.constant = 2.8;
        camera.axisScale[0] = 1.5;
        camera.axisScale[2] = 0.75;
    }

    std::unique_ptr<standin::ModuleLibrary> module_;
    standin::StandInHost host_;
    standin::LensTables lens_;
    CameraAccess access_{};
    std::vector<void *> instances_;
};

const CameraInstance &record(const void *instance) {
    return *static_cast<const CameraInstance *>(instance);
}

/// Checks that the baseline is the same camera as the lens: with no shift, no
/// eye offset and no turn, the right eye's ray at film x equals the baseline's
/// at film x less a quarter of the film width. Empty when it holds.
std::string checkBaselineAgainstLens(Session &session, const std::vector<RayArguments> &arguments) {
    std::string error;
    void *plain = session.makeInstance(0.0, 0.0, 0.0, 0.0, error);
    if (plain == nullptr) {
        return error;
    }
    if (const char *failure = session.prepareRayFrame(plain)) {
        return failure;
    }
    const ThinLensFrame frame = thinLensFrameLike(record(plain).samples, record(plain).sampleCount);
    for (const RayArguments &a : arguments) {
        const double filmX = std::abs(a.filmX);
        CameraRay lensRay{}, baselineRay{};
        session.handler().evaluate(plain, filmX, a.filmY, a.lensX, a.lensY, a.shutterFraction,
                                   &lensRay);
        thinLensRay(frame, filmX - 0.25 * kFilmWidth, a.filmY, a.lensX, a.lensY, a.shutterFraction,
                    baselineRay);
        const double *lensValues = &lensRay.origin[0];
        const double *baselineValues = &baselineRay.origin[0];
        for (int k = 0; k < 9; ++k) {
            if (!(std::abs(lensValues[k] - baselineValues[k]) <= 1e-9)) {
                char text[320];
                std::snprintf(text, sizeof text,
                              "baseline and lens disagree at film (%.17g, %.17g), lens (%.17g, "
                              "%.17g), shutter %.17g: value %d, %.17g against %.17g",
                              filmX, a.filmY, a.lensX, a.lensY, a.shutterFraction, k,
                              baselineValues[k], lensValues[k]);
                return text;
            }
        }
    }
    return {};
}

/// The stereo lens as a renderer meets it, shifted and with the eyes apart,
/// its frame prepared; null with `error` set when the module refuses.
void *makeRayInstance(Session &session, double eyeAngle, std::string &error) {
    void *instance = session.makeInstance(0.05, -0.03, 0.064, eyeAngle, error);
    if (instance == nullptr) {
        return nullptr;
    }
    if (const char *failure = session.prepareRayFrame(instance)) {
        error = failure;
        return nullptr;
    }
    return instance;
}

// --- the benchmarks -----------------------------------------------------------

/// Casts one ray per iteration, cycling through the precomputed arguments.
template <typename Evaluate>
void castRays(benchmark::State &state, Evaluate evaluate,
              const std::vector<RayArguments> &arguments) {
    CameraRay ray{};
    std::size_t next = 0;
    int64_t filled = 0;
    for (auto _ : state) {
        const RayArguments &a = arguments[next];
        next = (next + 1) & (kArgumentCount - 1);
        filled += evaluate(a.filmX, a.filmY, a.lensX, a.lensY, a.shutterFraction, &ray);
        benchmark::DoNotOptimize(ray);
    }
    if (filled != static_cast<int64_t>(state.iterations())) {
        state.SkipWithError("a ray was not filled");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

/// Calls `function` through a pointer the compiler cannot see through.
void castRaysThrough(benchmark::State &state, EvaluateFunction function, void *instance,
                     const std::vector<RayArguments> &arguments) {
    benchmark::DoNotOptimize(function);
    benchmark::DoNotOptimize(instance);
    castRays(
        state,
        [function, instance](double filmX, double filmY, double lensX, double lensY,
                             double shutterFraction, CameraRay *ray) {
            return function(instance, filmX, filmY, lensX, lensY, shutterFraction, ray);
        },
        arguments);
}

/// The per-frame call: motion steps from the benchmark's argument, timed per
/// record of the table it builds.
void prepareFrames(benchmark::State &state, Session &session, void *instance) {
    const auto motionSteps = static_cast<int32_t>(state.range(0));
    const FrameInfo frame{24, 1.0, 0.5, 24.0, motionSteps};
    const auto newFrame = session.handler().newFrame;
    const CameraAccess &access = session.access();
    for (auto _ : state) {
        if (newFrame(instance, &frame, &access) != nullptr) {
            state.SkipWithError("the per-frame call failed");
            break;
        }
        // The stand-in host records every query; keep its records short.
        if (session.host().calls().size() > 50000) {
            state.PauseTiming();
            session.host().clearRecords();
            state.ResumeTiming();
        }
    }
    const double records = 4.0 * motionSteps + 1.0;
    state.SetItemsProcessed(
        static_cast<int64_t>(state.iterations() * static_cast<int64_t>(records)));
    state.counters["records"] = records;
    state.counters["per_record"] = benchmark::Counter(
        records, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace
} // namespace brelvix::bench

int main(int argc, char **argv) {
    using namespace brelvix::bench;
    benchmark::Initialize(&argc, argv);

    // Our own flag, then nothing the library did not take.
    std::string modulePath = BRELVIX_MODULE_PATH;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        constexpr std::string_view kModuleFlag = "--module=";
        if (std::string_view(argv[i]).substr(0, kModuleFlag.size()) == kModuleFlag) {
            modulePath = argv[i] + kModuleFlag.size();
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }

    std::string error;
    const std::unique_ptr<Session> session = Session::open(modulePath, error);
    if (session == nullptr) {
        std::fprintf(stderr, "brelvix_lens_bench: %s\n", error.c_str());
        return 1;
    }
    const std::vector<RayArguments> arguments = makeRayArguments();
    error = checkBaselineAgainstLens(*session, arguments);
    if (!error.empty()) {
        std::fprintf(stderr, "brelvix_lens_bench: %s\n", error.c_str());
        return 1;
    }

    void *level = makeRayInstance(*session, 0.0, error);
    void *turned = level != nullptr ? makeRayInstance(*session, kTurnedEyeAngle, error) : nullptr;
    void *framed = turned != nullptr ? makeRayInstance(*session, 0.0, error) : nullptr;
    if (framed == nullptr) {
        std::fprintf(stderr, "brelvix_lens_bench: %s\n", error.c_str());
        return 1;
    }
    ThinLensFrame baselineFrame =
        thinLensFrameLike(record(level).samples, record(level).sampleCount);

    const EvaluateFunction evaluate = session->handler().evaluate;
    benchmark::RegisterBenchmark("EvaluateRay/eyeAngle:0", [&](benchmark::State &state) {
        castRaysThrough(state, evaluate, level, arguments);
    })->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark("EvaluateRay/eyeAngle:2deg", [&](benchmark::State &state) {
        castRaysThrough(state, evaluate, turned, arguments);
    })->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark(kBaselineName, [&](benchmark::State &state) {
        castRaysThrough(state, evaluateThinLens, &baselineFrame, arguments);
    })->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark(kDirectBaselineName, [&](benchmark::State &state) {
        castRays(
            state,
            [&baselineFrame](double filmX, double filmY, double lensX, double lensY,
                             double shutterFraction, CameraRay *ray) {
                return thinLensRay(baselineFrame, filmX, filmY, lensX, lensY, shutterFraction,
                                   *ray);
            },
            arguments);
    })->Unit(benchmark::kNanosecond);
    benchmark::RegisterBenchmark(
        "PrepareFrame", [&](benchmark::State &state) { prepareFrames(state, *session, framed); })
        ->ArgName("motionSteps")
        ->Arg(0)
        ->Arg(1)
        ->Arg(4)
        ->Arg(16)
        ->Unit(benchmark::kMicrosecond);

    RatioReporter reporter(isatty(STDOUT_FILENO) != 0 ? RatioReporter::OO_ColorTabular
                                                      : RatioReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
