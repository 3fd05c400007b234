#include "tools/render/render_tool.h"

#include "tools/render/error_text.h"
#include "tools/render/frame_output.h"
#include "tools/render/pending_file.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <new>
#include <ostream>
#include <string_view>

namespace brelvix::render {
namespace {

constexpr const char *kProgram = "brelvix-render";

void printMatrix(std::ostream &out, const std::array<double, 16> &matrix) {
    out << "viewport matrix (preview at the lens centre):\n";
    // A zero prints as 0, whatever its sign.
    const auto entry = [&matrix](int k) { return matrix[k] == 0.0 ? 0.0 : matrix[k]; };
    for (int row = 0; row < 4; ++row) {
        char line[128];
        std::snprintf(line, sizeof line, "  %13.6g %13.6g %13.6g %13.6g\n", entry(row * 4 + 0),
                      entry(row * 4 + 1), entry(row * 4 + 2), entry(row * 4 + 3));
        out << line;
    }
}

/// A bar on one line of a terminal, redrawn in place.
class ProgressBar {
  public:
    /// Counts `frames` frames; done and total are rows over all of them.
    ProgressBar(std::ostream &err, long frames) : err_(err), frames_(frames) {}
    /// Also when a failure ends the run early: its one line then stands alone.
    ~ProgressBar() { clear(); }
    ProgressBar(const ProgressBar &) = delete;
    ProgressBar &operator=(const ProgressBar &) = delete;

    void operator()(int done, int total) {
        const int percent =
            total > 0 ? static_cast<int>(static_cast<long long>(done) * 100 / total) : 100;
        if (percent == lastPercent_) {
            return;
        }
        lastPercent_ = percent;
        constexpr int kWidth = 40;
        const int filled = percent * kWidth / 100;
        err_ << "\rrendering ";
        if (frames_ > 1) {
            const long frame = std::min(frames_, frames_ * done / std::max(total, 1) + 1);
            err_ << "frame " << frame << "/" << frames_ << " ";
        }
        err_ << "[" << std::string(static_cast<std::size_t>(filled), '#')
             << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent
             << "%" << std::flush;
    }

    void clear() {
        if (lastPercent_ >= 0) {
            err_ << "\r" << std::string(80, ' ') << "\r" << std::flush;
            lastPercent_ = -1;
        }
    }

  private:
    std::ostream &err_;
    long frames_;
    int lastPercent_ = -1;
};

} // namespace

void placeCamera(standin::CameraItem &camera, const RenderOptions &options) {
    const Vec3 start = options.position;
    const Vec3 end = options.position + options.move;
    const double frameEnd = options.frameStart + options.frameDuration;
    for (int i = 0; i < 3; ++i) {
        camera.position[i] = standin::Curve{start[i], {}};
        if (end[i] != start[i] && options.frameDuration > 0.0) {
            camera.position[i].setKey(options.frameStart, start[i]);
            camera.position[i].setKey(frameEnd, end[i]);
        }
    }
    // Heading turns +z toward +x; a positive pitch looks down.
    const Vec3 view = options.target - options.position;
    camera.heading = standin::Curve{std::atan2(view.x, view.z), {}};
    camera.pitch = standin::Curve{std::atan2(-view.y, std::hypot(view.x, view.z)), {}};
    camera.bank = standin::Curve{0.0, {}};
    camera.focalDistance = standin::Curve{options.focalDistance.value_or(length(view)), {}};
    camera.fStop = standin::Curve{options.fStop, {}};
}

bool renderScene(const RenderOptions &options, RenderResult &result, std::string &error,
                 const RayShader &shader, const ProgressReport &progress,
                 const std::atomic<int> *stop) {
    const FrameSink keep = [&result](RenderResult &frame, std::string &) {
        result = std::move(frame);
        return true;
    };
    return renderFrames(options, keep, error, shader, progress, stop);
}

namespace {

/// The one line for a run that a signal ended, and its exit status.
int stopped(std::ostream &err, int signal, std::size_t framesWritten) {
    err << kProgram << ": " << (signal == SIGINT ? "interrupted" : "stopped by a signal") << " (SIG"
        << sigabbrev_np(signal) << "); ";
    if (framesWritten == 0) {
        err << "nothing written\n";
    } else {
        err << "the " << framesWritten << " frame" << (framesWritten == 1 ? "" : "s")
            << " finished before stay\n";
    }
    return signal == SIGINT ? kExitInterrupted : kExitFailure;
}

void printReport(std::ostream &out, const RenderResult &first, const RenderStats &total) {
    printMatrix(out, first.viewportMatrix);
    out << first.focalLengthLine << "\n";
    const double seconds = total.seconds;
    const int threads = total.threads;
    char line[160];
    std::snprintf(
        line, sizeof line, "rendered %llu rays in %.2f s on %d thread%s (%.2f M rays/s)\n",
        static_cast<unsigned long long>(total.rays), seconds, threads, threads == 1 ? "" : "s",
        seconds > 0.0 ? static_cast<double>(total.rays) / seconds / 1e6 : 0.0);
    out << line;
}

/// The run after the command line: files are opened first, so that an
/// unwritable path fails before anything is rendered, written whole and
/// renamed into place only when done: a single frame with the scene file at
/// the end, each frame of a range as soon as it is rendered.
int render(const RenderOptions &options, std::ostream &out, std::ostream &err, bool terminal,
           const std::atomic<int> *stop) {
    std::string error;
    const auto fail = [&err, &error, &options] {
        // One line; with --verbose an object not found lists the places
        // tried below it, each line made safe on its own.
        std::string_view rest = error;
        std::string_view first = rest.substr(0, options.verbose ? rest.find('\n') : rest.npos);
        err << kProgram << ": " << errorLine(first) << "\n";
        for (rest.remove_prefix(std::min(rest.size(), first.size() + 1)); !rest.empty();) {
            const std::string_view line = rest.substr(0, rest.find('\n'));
            err << errorLine(line) << "\n";
            rest.remove_prefix(std::min(rest.size(), line.size() + 1));
        }
        return kExitFailure;
    };
    const std::string firstPath = options.frames
                                      ? numberedPath(options.outputPath, options.frames->first)
                                      : options.outputPath;
    std::unique_ptr<FrameOutput> single = FrameOutput::open(firstPath, options.outputFormat, error);
    if (!single) {
        return fail();
    }
    if (options.frames) {
        single.reset(); // each frame opens its own
    }
    std::unique_ptr<PendingFile> sceneFile;
    if (!options.saveScenePath.empty()) {
        sceneFile = PendingFile::open(options.saveScenePath, error);
        if (!sceneFile) {
            return fail();
        }
    }

    const auto interrupted = [stop] { return stop != nullptr && *stop != 0; };
    const long frameCount = options.frames ? options.frames->last - options.frames->first + 1 : 1;
    ProgressBar bar(err, frameCount);
    ProgressReport progress;
    if (terminal && !options.quiet) {
        progress = [&bar](int done, int total) { bar(done, total); };
    }
    RenderResult first;
    RenderStats total;
    std::vector<std::string> written;
    const FrameSink sink = [&](RenderResult &frame, std::string &failure) {
        for (const std::string &note : frame.notes) {
            bar.clear();
            err << kProgram << ": " << note << "\n";
        }
        if (total.rays == 0) {
            first.viewportMatrix = frame.viewportMatrix;
            first.focalLengthLine = frame.focalLengthLine;
            first.sceneText = frame.sceneText;
        }
        total.rays += frame.stats.rays;
        total.seconds += frame.stats.seconds;
        total.threads = frame.stats.threads;
        if (!options.frames) {
            return single->write(frame, options.anaglyph, failure);
        }
        const std::string path = numberedPath(options.outputPath, frame.frame);
        const std::unique_ptr<FrameOutput> output =
            FrameOutput::open(path, options.outputFormat, failure);
        if (!output || !output->write(frame, options.anaglyph, failure)) {
            return false;
        }
        if (interrupted()) {
            failure = "interrupted";
            return false;
        }
        if (!output->commit(failure)) {
            return false;
        }
        written.push_back(path);
        return true;
    };
    const bool rendered = renderFrames(options, sink, error, {}, progress, stop);
    bar.clear();
    if (interrupted()) {
        return stopped(err, *stop, written.size());
    }
    if (!rendered) {
        return fail();
    }
    if (sceneFile && std::fputs(first.sceneText.c_str(), sceneFile->stream()) == EOF) {
        error = "Cannot write " + options.saveScenePath;
        return fail();
    }
    if (interrupted()) {
        return stopped(err, *stop, written.size());
    }
    if ((sceneFile && !sceneFile->commit(error)) || (single && !single->commit(error))) {
        return fail();
    }
    if (single) {
        written.push_back(options.outputPath);
    }

    if (!options.quiet) {
        printReport(out, first, total);
    }
    for (const std::string &path : written) {
        out << path << "\n";
    }
    return kExitSuccess;
}

} // namespace

int runRenderTool(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err,
                  bool terminal, const std::atomic<int> *stop) {
    const ParsedCommandLine parsed = parseCommandLine(arguments);
    if (parsed.exitCode) {
        if (*parsed.exitCode == kExitSuccess) {
            out << parsed.message;
        } else {
            err << kProgram << ": " << errorLine(parsed.message) << "\n";
        }
        return *parsed.exitCode;
    }
    const FilmSettings &film = parsed.options.film;
    try {
        return render(parsed.options, out, err, terminal, stop);
    } catch (const std::bad_alloc &) {
        // Everything the run made is gone by now.
        err << kProgram << ": not enough memory for a " << film.width << " x " << film.height
            << " image\n";
    } catch (const std::exception &failure) {
        err << kProgram << ": " << errorLine(failure.what()) << "\n";
    }
    return kExitFailure;
}

} // namespace brelvix::render
