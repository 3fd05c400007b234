#include "tools/render/frame_sequence.h"

#include "tools/module_path.h"
#include "tools/render/camera_placement.h"
#include "tools/render/ray_range.h"
#include "tools/shot/loading_process.h"
#include "tools/world/file_kind.h"
#include "tools/world/shutter_motion.h"

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
/// triangle) and `instances` (about 512 bytes each) fits the address space
/// left, else the line that says not: Embree would otherwise run out only
/// after building for a long while.
std::string tracerMemoryFault(std::size_t triangles, std::size_t instances) {
    rlimit space{};
    std::ifstream status("/proc/self/statm");
    std::uint64_t pages = 0;
    status >> pages;
    if (getrlimit(RLIMIT_AS, &space) != 0 || space.rlim_cur == RLIM_INFINITY || !status) {
        return {};
    }
    const std::uint64_t used = pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t left = space.rlim_cur > used ? space.rlim_cur - used : 0;
    const std::uint64_t needed =
        static_cast<std::uint64_t>(triangles) * 64 + static_cast<std::uint64_t>(instances) * 512;
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

/// The set-up file's settings under the command line's, and its lens data.
bool loadSetup(const RenderOptions &options, RenderOptions &setup, LensData &lensData,
               std::string &error) {
    setup = options;
    if (options.loadScenePath.empty()) {
        return true;
    }
    std::string text;
    // A missing file is the reader's to report; a device, a FIFO or a huge
    // file must not reach it.
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
    return true;
}

world::TracerOptions tracing(const RenderOptions &options) { return {options.isa, 0}; }

} // namespace

std::unique_ptr<FrameSequence> FrameSequence::open(const RenderOptions &options, std::string &error,
                                                   const std::atomic<int> *stop) {
    std::unique_ptr<FrameSequence> sequence(new FrameSequence());
    if (!sequence->start(options, error, stop)) {
        return nullptr;
    }
    return sequence;
}

FrameSequence::~FrameSequence() = default;

bool FrameSequence::start(const RenderOptions &options, std::string &error,
                          const std::atomic<int> *stop) {
    options_ = options;
    // The set-up file first: it places the camera.
    if (!loadSetup(options, setup_, lensData_, error)) {
        return false;
    }
    if (options.scenePath.empty() && !options.cameraName.empty()) {
        error = "--camera " + options.cameraName + ": the built-in scene has no cameras";
        return false;
    }
    // The child reads the scene while the module is opened here.
    std::optional<LoadingProcess> loading;
    if (!options.scenePath.empty()) {
        loading.emplace(
            LoadingProcess::start(options.scenePath,
                                  ShotRequest{options.cameraName, options.contentFolder,
                                              options.verbose, options.subdivisionLevel},
                                  LoadLimits{options.maxLoadMemory, kLoadCpuSeconds}));
    }
    const std::string modulePath =
        options.modulePath.empty() ? tools::defaultModulePath() : options.modulePath;
    std::string moduleError;
    session_ = LensSession::open(modulePath, moduleError);
    if (loading) {
        shot_ = loading->finish(error, stop);
        if (!shot_) {
            return false;
        }
    }
    if (!frameList(options, shot_.get(), frames_, error)) {
        return false;
    }
    range_ = shot_ ? shot_->frames() : ShotFrames{};
    film_ = setup_.film;
    if (shot_ && !shotFilm(setup_, *shot_, film_, error)) {
        return false;
    }
    if (!session_) {
        error = moduleError;
        return false;
    }
    if (!options.loadScenePath.empty() &&
        !session_->loadLensData(lensData_.text, lensData_.firstLine, error)) {
        error = "Cannot load scene " + options.loadScenePath + ": " + error;
        return false;
    }
    applyChannels(*session_, options);
    zoomFromShot_ =
        shot_ && options.loadScenePath.empty() && !channelGiven(options, kChannelNames[0]);
    if (!shot_) {
        scene_ = builtinScene(tracing(options));
    }
    return true;
}

void FrameSequence::placeCameraAt(const FrameInfo &info) {
    if (shot_) {
        placeShotCamera(session_->camera(), *shot_, info, setup_);
        if (zoomFromShot_) {
            session_->channel(kChannelNames[0])->curve =
                standin::Curve{shot_->camera(info.start).zoomFactor, {}};
        }
    } else {
        RenderOptions placed = setup_;
        placed.frameStart = info.start;
        placeCamera(session_->camera(), placed);
    }
    session_->setCurrentTime(info.start);
}

bool FrameSequence::placeScene(std::string &error) {
    if (!shot_ || (built_ && !shot_->moves())) {
        return true;
    }
    std::size_t triangles = 0;
    try {
        world::PlacedGeometry geometry;
        shot_->place(geometry, info_.start);
        scene_ = Scene{};
        scene_.meshes = std::move(geometry.meshes);
        scene_.instanced = std::move(geometry.instanced);
        scene_.lights = std::move(geometry.lights);
        scene_.ambient = geometry.ambient;
        scene_.backdrop = geometry.backdrop;
        scene_.shadowOffset = geometry.shadowOffset;
        if (info_.motionSteps > 0) {
            world::ShutterTimes times = shutterTimes(info_);
            times.count = std::min(times.count, world::kMostShutterTimes);
            shot_->placeAcross(scene_.instanced, times);
        }
        for (const world::Mesh &mesh : scene_.meshes) {
            triangles += mesh.triangles.size();
        }
        triangles += world::distinctTriangles(scene_.instanced);
        if (const std::string fault =
                tracerMemoryFault(triangles, scene_.instanced.instances.size());
            !fault.empty()) {
            error = fault;
            return false;
        }
        if (!scene_.build(tracing(options_), error)) {
            return false;
        }
    } catch (const std::bad_alloc &) {
        scene_ = Scene{};
        error = "not enough memory for the scene's " + std::to_string(triangles) + " triangles";
        return false;
    }
    built_ = true;
    return true;
}

bool FrameSequence::prepare(std::size_t index, std::string &error) {
    index_ = index;
    const long number = frames_[index];
    FrameInfo &frame = info_;
    frame = FrameInfo{};
    frame.frame = static_cast<int>(number);
    frame.framesPerSecond = range_.ranged ? range_.framesPerSecond : kFramesPerSecond;
    frame.start = range_.ranged ? number / range_.framesPerSecond
                                : setup_.frameStart + number * setup_.frameDuration;
    frame.duration = range_.ranged && !options_.given("frame-duration")
                         ? 1.0 / range_.framesPerSecond
                         : setup_.frameDuration;
    frame.motionSteps = film_.motionSteps;
    if (shot_) {
        applyShutter(frame, *shot_);
    }
    placeCameraAt(frame);

    notes_.clear();
    view_ = FrameView{};
    if (index == 0 && shot_) {
        notes_ = shot_->notes();
    }
    if (index == 0 && !options_.saveScenePath.empty()) {
        std::string lens;
        if (!session_->saveLensData(lens, error)) {
            error = "Cannot save scene " + options_.saveScenePath + ": " + error;
            return false;
        }
        view_.setupText = formatSceneFile(setup_, lens);
    }
    view_.viewportMatrix = session_->previewMatrix(film_.filmWidth, film_.filmHeight);
    view_.focalLengthLine = session_->focalLengthLine();
    if (const std::string fault = zoomFault(*session_, frame); !fault.empty()) {
        error = fault;
        return false;
    }
    if (!session_->prepareFrame(frame, film_.filmWidth, film_.filmHeight, error)) {
        return false;
    }
    if (!raysInRange(session_->rays(), film_)) {
        error = raysOutOfRange(*session_, film_, frame.start);
        return false;
    }
    return placeScene(error);
}

PreparedFrame FrameSequence::frame() {
    return PreparedFrame{frames_[index_], info_, film_, *session_, scene_, notes_};
}

bool FrameSequence::checkTraced(std::string &error) {
    if (scene_.refusedRays()) {
        error = raysOutOfRange(*session_, film_, info_.start);
        return false;
    }
    return true;
}

} // namespace brelvix::render
