#include "tools/parallax/parallax_tool.h"

#include "tools/output/error_text.h"
#include "tools/output/pending_file.h"
#include "tools/parallax/bracket_chart.h"
#include "tools/parallax/parallax_map.h"
#include "tools/parallax/report.h"
#include "tools/render/frame_sequence.h"
#include "tools/render/lens_session.h"
#include "tools/render/render_options.h"
#include "tools/shot/shot.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace brelvix::parallax {
namespace {

/// FILE.png -> FILE-brackets.EXTENSION.
std::string chartPath(const std::string &mapPath, const std::string &extension) {
    return mapPath.substr(0, mapPath.size() - 4) + "-brackets." + extension;
}

std::string unitsOf(const render::RenderOptions &options) {
    // The host's scenes are in metres; other files in whatever unit they
    // were made in.
    return options.scenePath.empty() || render::isLightWaveScene(options.scenePath) ? "m"
                                                                                    : "scene units";
}

template <typename Write>
bool writeWith(const std::string &path, const Write &write, std::string &error) {
    const std::unique_ptr<render::PendingFile> file = render::PendingFile::open(path, error);
    if (!file) {
        return false;
    }
    if (!write(file->stream(), error)) {
        error = "Cannot write " + path + ": " + error;
        return false;
    }
    return file->commit(error);
}

bool writeFile(const std::string &path, const std::string &text, std::string &error) {
    return writeWith(
        path,
        [&text](std::FILE *file, std::string &failure) {
            if (std::fputs(text.c_str(), file) == EOF) {
                failure = std::strerror(errno);
                return false;
            }
            return true;
        },
        error);
}

/// One run of the check: its files, and what it has found so far.
struct Run {
    const render::RenderOptions &options;
    const ParallaxRequest &request;
    std::ostream &out;
    std::ostream &err;
    const std::atomic<int> *stop;
    ReportSetting setting;
    std::vector<FrameReport> reports;
    double seconds = 0.0;

    bool interrupted() const { return stop != nullptr && *stop != 0; }
};

bool writeMap(Run &run, const render::PreparedFrame &frame, const ParallaxField &field,
              const FrameReport &report, std::string &error) {
    const ParallaxRequest &request = run.request;
    const std::string path =
        run.options.frames ? render::numberedPath(request.mapPath, frame.number) : request.mapPath;
    char title[200];
    std::snprintf(title, sizeof title,
                  "frame %ld: StereoDistance %g %s, StereoAngle %g; screen %g m wide", frame.number,
                  report.eyeDistance, run.setting.units.c_str(), report.eyeAngle,
                  request.budget.screenWidth);
    if (!writeWith(
            path,
            [&](std::FILE *file, std::string &failure) {
                return writeParallaxMap(file, field, report.figures, request.budget, title,
                                        failure);
            },
            error)) {
        return false;
    }
    run.out << path << "\n";
    return true;
}

bool checkOne(Run &run, const render::PreparedFrame &frame, std::string &error) {
    for (const std::string &note : frame.notes) {
        render::printError(run.err, note);
    }
    run.setting.eyeWidth = frame.film.width / 2;
    run.setting.eyeHeight = frame.film.height;
    CheckSettings settings;
    settings.threads = run.options.threads;
    settings.view = !run.request.mapPath.empty();
    FrameReport report;
    report.frame = frame.number;
    ParallaxField field;
    const auto start = std::chrono::steady_clock::now();
    if (!checkFrame({frame.session, frame.info, frame.film, frame.scene}, run.request.budget,
                    settings, report, field, error, run.stop)) {
        return false;
    }
    run.seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.out << frameLine(report, run.setting) << std::flush;
    if (!run.request.mapPath.empty() && !writeMap(run, frame, field, report, error)) {
        return false;
    }
    run.reports.push_back(report);
    return true;
}

bool writeReport(const Run &run, std::string &error) {
    const std::string &path = run.request.reportPath;
    const std::string text = hasExtension(path, ".csv") ? reportCsv(run.reports, run.setting)
                                                        : reportJson(run.reports, run.setting);
    if (!writeFile(path, text, error)) {
        return false;
    }
    run.out << path << "\n";
    return true;
}

bool writeCharts(const Run &run, std::string &error) {
    std::vector<FrameBracket> brackets;
    for (const FrameReport &r : run.reports) {
        brackets.push_back({r.frame, r.figures});
    }
    char title[120];
    std::snprintf(title, sizeof title, "Depth brackets, frames %ld to %ld; screen %g m wide",
                  run.options.frames->first, run.options.frames->last,
                  run.request.budget.screenWidth);
    for (const bool svg : {true, false}) {
        const std::string path = chartPath(run.request.mapPath, svg ? "svg" : "png");
        if (!writeWith(
                path,
                [&](std::FILE *file, std::string &failure) {
                    return writeBracketChart(file, svg, brackets, run.request.budget,
                                             run.setting.eyeWidth, title, failure);
                },
                error)) {
            return false;
        }
        run.out << path << "\n";
    }
    return true;
}

/// Each file's folder is tried first, so that an unwritable path fails
/// before anything is measured.
bool tryFolders(const Run &run, std::string &error) {
    const std::string &map = run.request.mapPath;
    for (const std::string &path :
         {run.options.frames && !map.empty() ? render::numberedPath(map, run.options.frames->first)
                                             : map,
          run.request.reportPath}) {
        if (!path.empty() && !render::PendingFile::open(path, error)) {
            return false;
        }
    }
    return true;
}

/// Each frame of the sequence prepared and checked in turn.
bool checkFrames(Run &run, std::string &error) {
    const std::unique_ptr<render::FrameSequence> frames =
        render::FrameSequence::open(run.options, error, run.stop);
    if (!frames) {
        return false;
    }
    for (std::size_t index = 0; index < frames->size(); ++index) {
        if (!frames->prepare(index, error) || !checkOne(run, frames->frame(), error) ||
            !frames->checkTraced(error)) {
            return false;
        }
    }
    return true;
}

/// The check over every frame asked for; the exit status.
int check(const render::RenderOptions &options, const ParallaxRequest &request, std::ostream &out,
          std::ostream &err, const std::atomic<int> *stop) {
    Run run{options, request, out, err, stop, {unitsOf(options), request.budget, 0, 0}, {}};
    std::string error;
    const bool checked = tryFolders(run, error) && checkFrames(run, error);
    if (!checked && run.interrupted()) {
        render::printError(err, "interrupted; the files of the frames finished stay");
        return *stop == SIGINT ? render::kExitInterrupted : render::kExitFailure;
    }
    if (!checked || (!request.reportPath.empty() && !writeReport(run, error)) ||
        (options.frames && !request.mapPath.empty() && !writeCharts(run, error))) {
        render::printError(err, error);
        return render::kExitFailure;
    }
    if (!options.quiet) {
        char line[120];
        std::snprintf(line, sizeof line, "measured %zu frame%s in %.2f s on %d thread%s\n",
                      run.reports.size(), run.reports.size() == 1 ? "" : "s", run.seconds,
                      options.threads, options.threads == 1 ? "" : "s");
        out << line;
    }
    const bool over = std::any_of(run.reports.begin(), run.reports.end(),
                                  [](const FrameReport &r) { return r.figures.overBudget; });
    return over ? kExitOverBudget : render::kExitSuccess;
}

/// Keeps the memory the check frees for its next buffers. Each frame's
/// fields, their figures and lines, and its map are buffers of the frame's
/// size, made and freed several times a frame; glibc hands blocks that
/// large back to the system at once, and their pages are then cleared
/// and mapped in again by the next one.
void keepFreedMemory() {
#ifdef __GLIBC__
    constexpr int kLargest = 1 << 30;
    mallopt(M_MMAP_THRESHOLD, kLargest / 4);
    mallopt(M_TRIM_THRESHOLD, kLargest);
#endif
}

} // namespace

int runDepthCheck(const render::RenderOptions &options, const ParallaxRequest &request,
                  std::ostream &out, std::ostream &err, const std::atomic<int> *stop) {
    keepFreedMemory();
    try {
        return check(options, request, out, err, stop);
    } catch (const std::bad_alloc &) {
        render::printError(err, "not enough memory for the depth check");
    } catch (const std::exception &failure) {
        render::printError(err, failure.what());
    }
    return render::kExitFailure;
}

} // namespace brelvix::parallax
