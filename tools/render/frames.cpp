// The render loop: the set-up, the module and the scene made once, then for
// each frame the camera placed, the per-frame call and the film rendered.
#include "tools/module_path.h"
#include "tools/render/lens_session.h"
#include "tools/render/load_child.h"
#include "tools/render/render_tool.h"
#include "tools/render/scene.h"
#include "tools/render/scene_file.h"
#include "tools/render/setup_range.h"
#include "tools/render/shot.h"
#include "tools/render/shot_setup.h"
#include "tools/world/file_kind.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <numbers>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace brelvix::render {
namespace {

/// The frame rate handed to the lens without a scene's own; the lens does
/// not use it, and times stay scene times in seconds.
constexpr double kFramesPerSecond = 24.0;

bool channelGiven(const RenderOptions &options, const std::string &name) {
    return std::any_of(options.values.begin(), options.values.end(),
                       [&](const ChannelValue &value) { return value.channel == name; }) ||
           std::any_of(options.keys.begin(), options.keys.end(),
                       [&](const ChannelKey &key) { return key.channel == name; });
}

void applyChannels(LensSession &session, const RenderOptions &options) {
    // Names were checked against the lens's channels when parsed.
    for (const ChannelValue &value : options.values) {
        if (standin::Channel *const channel = session.channel(value.channel)) {
            channel->curve = standin::Curve{value.value, {}};
        }
    }
    for (const ChannelKey &key : options.keys) {
        if (standin::Channel *const channel = session.channel(key.channel)) {
            channel->curve.setKey(key.time, key.value);
        }
    }
}

/// Empty when the tracer's hierarchy for `triangles` (about 64 bytes a
/// triangle) fits the address space left, else the line that says not:
/// Embree would otherwise run out only after building for a long while.
std::string tracerMemoryFault(std::size_t triangles) {
    rlimit space{};
    std::ifstream status("/proc/self/statm");
    std::uint64_t pages = 0;
    status >> pages;
    if (getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur == RLIM_INFINITY || !status) {
        return {};
    }
    const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t left = space.rlim_cur > used ? space.rlim_cur - used : 0;
    const std::uint64_t needed = static_cast<std::uint64_t>(triangles) * 64;
    if (needed <= left) {
        return {};
    }
    char line[160];
    std::snprintf(line, sizeof line,
                  "not enough memory for the scene's %zu triangles: the tracer needs about "
                  "%.3g GB, %.3g GB are left under the address-space limit",
                  triangles, static_cast<double>(needed) / 1e9, static_cast<double>(left) / 1e9);
    return line;
}

/// The frame loop of renderFrames, or with `visit` set of visitFrames.
bool frameLoop(const RenderOptions &options, const FrameSink &sink, std::string &error,
               const RayShader &shader, const ProgressReport &progress,
               const std::atomic<int> *stop, const FrameVisitor &visit) {
    // The scene file's set-up first: it places the camera.
    RenderOptions setup = options;
    LensData lensData;
    if (!options.loadScenePath.empty()) {
        std::string text;
        // A missing file is the reader's to report; a device, a FIFO or a
        // huge file must not reach it.
        std::error_code ignored;
        if (const std::string fault =
                std::filesystem::exists(options.loadScenePath, ignored)
                    ? world::fileFault(options.loadScenePath, world::kMaxSceneFileBytes)
                    : std::string();
            !fault.empty()) {
            error = "Cannot load scene " + options.loadScenePath + ": " + fault;
            return false;
        }
        if (!standin::SceneReader::readFile(options.loadScenePath, text, error)) {
            return false;
        }
        if (!parseSceneFile(text, setup, lensData, error)) {
            error = "Cannot load scene " + options.loadScenePath + ": " + error;
            return false;
        }
    }
    if (options.scenePath.empty() && !options.cameraName.empty()) {
        error = "--camera " + options.cameraName + ": the built-in scene has no cameras";
        return false;
    }
    // The child reads the scene while the module is opened here.
    std::optional<LoadingProcess> loading;
    if (!options.scenePath.empty()) {
        loading.emplace(LoadingProcess::start(
            options.scenePath,
            ShotRequest{options.cameraName, options.contentFolder, options.verbose},
            LoadLimits{options.maxLoadMemory, kLoadCpuSeconds}));
    }
    const std::string modulePath =
        options.modulePath.empty() ? tools::defaultModulePath() : options.modulePath;
    std::string moduleError;
    const std::unique_ptr<LensSession> session = LensSession::open(modulePath, moduleError);

    std::unique_ptr<Shot> shot;
    if (loading) {
        shot = loading->finish(error, stop);
        if (!shot) {
            return false;
        }
    }
    std::vector<long> frames;
    if (!frameList(options, shot.get(), frames, error)) {
        return false;
    }
    const ShotFrames range = shot ? shot->frames() : ShotFrames{};
    FilmSettings film = setup.film;
    if (shot && !shotFilm(setup, *shot, film, error)) {
        return false;
    }
    if (!session) {
        error = moduleError;
        return false;
    }
    if (!options.loadScenePath.empty() &&
        !session->loadLensData(lensData.text, lensData.firstLine, error)) {
        error = "Cannot load scene " + options.loadScenePath + ": " + error;
        return false;
    }
    applyChannels(*session, options);
    const bool zoomFromShot =
        shot && options.loadScenePath.empty() && !channelGiven(options, kChannelNames[0]);
    const world::TracerOptions tracing{options.isa, 0};
    Scene scene = shot ? Scene{} : builtinScene(tracing);
    bool built = false;

    for (std::size_t index = 0; index < frames.size(); ++index) {
        const long number = frames[index];
        FrameInfo frame{};
        frame.frame = static_cast<int>(number);
        frame.framesPerSecond = range.ranged ? range.framesPerSecond : kFramesPerSecond;
        frame.start = range.ranged ? number / range.framesPerSecond
                                   : setup.frameStart + number * setup.frameDuration;
        frame.duration = range.ranged && !options.given("frame-duration")
                             ? 1.0 / range.framesPerSecond
                             : setup.frameDuration;
        frame.motionSteps = film.motionSteps;
        if (shot) {
            applyShutter(frame, *shot);
            placeShotCamera(session->camera(), *shot, frame, setup);
            if (zoomFromShot) {
                session->channel(kChannelNames[0])->curve =
                    standin::Curve{shot->camera(frame.start).zoomFactor, {}};
            }
        } else {
            RenderOptions placed = setup;
            placed.frameStart = frame.start;
            placeCamera(session->camera(), placed);
        }
        session->setCurrentTime(frame.start);

        RenderResult result;
        result.frame = number;
        if (index == 0 && shot) {
            result.notes = shot->notes();
        }
        if (index == 0 && !options.saveScenePath.empty()) {
            std::string lens;
            if (!session->saveLensData(lens, error)) {
                error = "Cannot save scene " + options.saveScenePath + ": " + error;
                return false;
            }
            result.sceneText = formatSceneFile(setup, lens);
        }
        result.viewportMatrix = session->previewMatrix(film.filmWidth, film.filmHeight);
        result.focalLengthLine = session->focalLengthLine();
        if (const std::string fault = zoomFault(*session, frame); !fault.empty()) {
            error = fault;
            return false;
        }
        if (!session->prepareFrame(frame, film.filmWidth, film.filmHeight, error)) {
            return false;
        }
        if (!raysInRange(session->rays(), film)) {
            error = raysOutOfRange(*session, film, frame.start);
            return false;
        }
        if (shot && (!built || shot->moves())) {
            std::size_t triangles = 0;
            try {
                scene = Scene{};
                shot->place(scene, frame.start);
                if (frame.motionSteps > 0) {
                    scene.moving = shot->placeAcross(shutterTimes(frame));
                }
                for (const world::Mesh &mesh : scene.meshes) {
                    triangles += mesh.triangles.size();
                }
                if (const std::string fault = tracerMemoryFault(triangles); !fault.empty()) {
                    error = fault;
                    return false;
                }
                if (!scene.build(tracing, error)) {
                    return false;
                }
            } catch (const std::bad_alloc &) {
                scene = Scene{};
                error =
                    "not enough memory for the scene's " + std::to_string(triangles) + " triangles";
                return false;
            }
            built = true;
        }
        if (visit) {
            if (!visit(PreparedFrame{number, frame, film, *session, scene, result.notes}, error)) {
                return false;
            }
            // What the tracer refused is unmeasured, not sky.
            if (scene.refusedRays()) {
                error = raysOutOfRange(*session, film, frame.start);
                return false;
            }
            continue;
        }

        // The per-frame call is done; only ray evaluations run from here
        // until the threads are joined.
        const RayShader colours =
            shader ? shader : [&scene](const Ray &ray) { return scene.shade(ray); };
        // Rows over all frames, scaled down to fit an int.
        const std::int64_t count = static_cast<std::int64_t>(frames.size());
        const std::int64_t frameIndex = static_cast<std::int64_t>(index);
        const ProgressReport frameProgress = progress ? ProgressReport([&](int done, int rows) {
            const std::int64_t total = count * rows;
            const std::int64_t scale = total / INT_MAX + 1;
            progress(static_cast<int>((frameIndex * rows + done) / scale),
                     static_cast<int>(total / scale));
        })
                                                      : ProgressReport();
        try {
            result.film = renderFilm(film, session->rays(), colours, options.threads, frameProgress,
                                     &result.stats, stop);
            if (stop == nullptr || *stop == 0) {
                // Not a conditional expression: that would copy the whole film.
                result.display =
                    options.anaglyph ? toDisplay(anaglyph(result.film)) : toDisplay(result.film);
            }
        } catch (const std::bad_alloc &) {
            result = RenderResult{};
            // The size rendered, which a scene's camera may have set.
            error = "not enough memory for a " + std::to_string(film.width) + " x " +
                    std::to_string(film.height) + " image";
            return false;
        }
        if (stop != nullptr && *stop != 0) {
            error = "interrupted";
            return false;
        }
        if (scene.refusedRays()) {
            error = raysOutOfRange(*session, film, frame.start);
            return false;
        }
        if (!sink(result, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool renderFrames(const RenderOptions &options, const FrameSink &sink, std::string &error,
                  const RayShader &shader, const ProgressReport &progress,
                  const std::atomic<int> *stop) {
    return frameLoop(options, sink, error, shader, progress, stop, {});
}

bool visitFrames(const RenderOptions &options, const FrameVisitor &visit, std::string &error,
                 const std::atomic<int> *stop) {
    return frameLoop(options, {}, error, {}, {}, stop, visit);
}

} // namespace brelvix::render
