#include "tools/render/render_tool.h"

#include "tools/output/error_text.h"
#include "tools/output/pending_file.h"
#include "tools/output/progress_bar.h"
#include "tools/render/frame_output.h"
#include "tools/render/frame_sequence.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <ostream>
#include <string_view>

namespace brelvix::render {
namespace {

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

/// The film of the prepared frame, through `shader` or the scene's colours;
/// false with `error` when memory runs out or the run is stopped.
bool renderFrame(const RenderOptions &options, FrameSequence &frames, std::size_t index,
                 RenderResult &result, const RayShader &shader, const ProgressReport &progress,
                 const std::atomic<int> *stop, std::string &error) {
    const PreparedFrame frame = frames.frame();
    const FilmSettings &film = frame.film;
    // The per-frame call is done; only ray evaluations run from here until
    // the threads are joined.
    const Scene &scene = frame.scene;
    const bool packets = !options.singleRays;
    const BatchShader colours = [&scene, packets](std::span<const Ray> rays,
                                                  std::span<ShadedRay> seen) {
        return scene.shadeAll(rays, seen, packets);
    };
    // Rows over all frames.
    const auto count = static_cast<std::int64_t>(frames.size());
    const auto before = static_cast<std::int64_t>(index);
    const ProgressReport frameProgress =
        progress ? ProgressReport([&](std::int64_t done, std::int64_t rows) {
            progress(before * rows + done, count * rows);
        })
                 : ProgressReport();
    try {
        result.film = shader ? renderFilm(film, frame.session.rays(), shader, options.threads,
                                          frameProgress, &result.stats, stop)
                             : renderFilm(film, frame.session.rays(), colours, options.threads,
                                          frameProgress, &result.stats, stop);
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
    return frames.checkTraced(error);
}

} // namespace

bool renderFrames(const RenderOptions &options, const FrameSink &sink, std::string &error,
                  const RayShader &shader, const ProgressReport &progress,
                  const std::atomic<int> *stop) {
    const std::unique_ptr<FrameSequence> frames = FrameSequence::open(options, error, stop);
    if (!frames) {
        return false;
    }
    for (std::size_t index = 0; index < frames->size(); ++index) {
        if (!frames->prepare(index, error)) {
            return false;
        }
        RenderResult result;
        const PreparedFrame frame = frames->frame();
        result.frame = frame.number;
        result.notes = frame.notes;
        result.sceneText = frames->view().setupText;
        result.viewportMatrix = frames->view().viewportMatrix;
        result.focalLengthLine = frames->view().focalLengthLine;
        if (!renderFrame(options, *frames, index, result, shader, progress, stop, error) ||
            !sink(result, error)) {
            return false;
        }
    }
    return true;
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
    std::string line = std::string(signal == SIGINT ? "interrupted" : "stopped by a signal") +
                       " (SIG" + sigabbrev_np(signal) + "); ";
    if (framesWritten == 0) {
        line += "nothing written";
    } else {
        line += "the " + std::to_string(framesWritten) + " frame" +
                (framesWritten == 1 ? "" : "s") + " finished before stay";
    }
    printError(err, line);
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

/// The files of a render: opened before anything is rendered, so that an
/// unwritable path fails first, and written whole and renamed into place
/// only when done: a single frame with the set-up file at the end, each
/// frame of a range as soon as it is rendered.
class RenderFiles {
  public:
    bool open(const RenderOptions &options, std::string &error) {
        options_ = &options;
        const std::string firstPath = options.frames
                                          ? numberedPath(options.outputPath, options.frames->first)
                                          : options.outputPath;
        single_ = FrameOutput::open(firstPath, options.outputFormat, error);
        if (!single_) {
            return false;
        }
        if (options.frames) {
            single_.reset(); // each frame opens its own
        }
        if (!options.saveScenePath.empty()) {
            setupFile_ = PendingFile::open(options.saveScenePath, error);
            if (!setupFile_) {
                return false;
            }
        }
        return true;
    }

    /// Takes one rendered frame: kept for the end, or written now in a range.
    bool take(RenderResult &frame, const std::atomic<int> *stop, std::string &error) {
        if (!options_->frames) {
            return single_->write(frame, options_->anaglyph, error);
        }
        const std::string path = numberedPath(options_->outputPath, frame.frame);
        const std::unique_ptr<FrameOutput> output =
            FrameOutput::open(path, options_->outputFormat, error);
        if (!output || !output->write(frame, options_->anaglyph, error)) {
            return false;
        }
        if (stop != nullptr && *stop != 0) {
            error = "interrupted";
            return false;
        }
        if (!output->commit(error)) {
            return false;
        }
        written_.push_back(path);
        return true;
    }

    /// Writes the set-up file's text.
    bool writeSetup(const std::string &text, std::string &error) {
        if (setupFile_ && std::fputs(text.c_str(), setupFile_->stream()) == EOF) {
            error = "Cannot write " + options_->saveScenePath;
            return false;
        }
        return true;
    }

    /// Puts the single frame and the set-up file at their paths.
    bool commit(std::string &error) {
        if ((setupFile_ && !setupFile_->commit(error)) || (single_ && !single_->commit(error))) {
            return false;
        }
        if (single_) {
            written_.push_back(options_->outputPath);
        }
        return true;
    }

    const std::vector<std::string> &written() const { return written_; }

  private:
    const RenderOptions *options_ = nullptr;
    std::unique_ptr<FrameOutput> single_;
    std::unique_ptr<PendingFile> setupFile_;
    std::vector<std::string> written_;
};

/// The error that ended a render: one line; with --verbose an object not
/// found lists the places tried below it, each line made safe on its own.
int failed(std::ostream &err, const std::string &error, bool verbose) {
    std::string_view rest = error;
    const std::string_view first = rest.substr(0, verbose ? rest.find('\n') : rest.npos);
    printError(err, first);
    for (rest.remove_prefix(std::min(rest.size(), first.size() + 1)); !rest.empty();) {
        const std::string_view line = rest.substr(0, rest.find('\n'));
        err << errorLine(line) << "\n";
        rest.remove_prefix(std::min(rest.size(), line.size() + 1));
    }
    return kExitFailure;
}

int render(const RenderOptions &options, std::ostream &out, std::ostream &err, bool terminal,
           const std::atomic<int> *stop) {
    std::string error;
    RenderFiles files;
    if (!files.open(options, error)) {
        return failed(err, error, options.verbose);
    }
    const auto interrupted = [stop] { return stop != nullptr && *stop != 0; };
    const std::int64_t frameCount =
        options.frames ? options.frames->last - options.frames->first + 1 : 1;
    ProgressBar bar(err, frameCount);
    ProgressReport progress;
    if (terminal && !options.quiet) {
        progress = [&bar](std::int64_t done, std::int64_t total) { bar(done, total); };
    }
    RenderResult first;
    RenderStats total;
    const FrameSink sink = [&](RenderResult &frame, std::string &failure) {
        for (const std::string &note : frame.notes) {
            bar.clear();
            printError(err, note);
        }
        if (total.rays == 0) {
            first.viewportMatrix = frame.viewportMatrix;
            first.focalLengthLine = frame.focalLengthLine;
            first.sceneText = frame.sceneText;
        }
        total.rays += frame.stats.rays;
        total.seconds += frame.stats.seconds;
        total.threads = frame.stats.threads;
        return files.take(frame, stop, failure);
    };
    const bool rendered = renderFrames(options, sink, error, {}, progress, stop);
    bar.clear();
    if (interrupted()) {
        return stopped(err, *stop, files.written().size());
    }
    if (!rendered || !files.writeSetup(first.sceneText, error)) {
        return failed(err, error, options.verbose);
    }
    if (interrupted()) {
        return stopped(err, *stop, files.written().size());
    }
    if (!files.commit(error)) {
        return failed(err, error, options.verbose);
    }
    if (!options.quiet) {
        printReport(out, first, total);
    }
    for (const std::string &path : files.written()) {
        out << path << "\n";
    }
    return kExitSuccess;
}

} // namespace

int runRender(const RenderOptions &options, std::ostream &out, std::ostream &err, bool terminal,
              const std::atomic<int> *stop) {
    try {
        return render(options, out, err, terminal, stop);
    } catch (const std::bad_alloc &) {
        // Everything the run made is gone by now.
        printError(err, "not enough memory for a " + std::to_string(options.film.width) + " x " +
                            std::to_string(options.film.height) + " image");
    } catch (const std::exception &failure) {
        printError(err, failure.what());
    }
    return kExitFailure;
}

} // namespace brelvix::render
