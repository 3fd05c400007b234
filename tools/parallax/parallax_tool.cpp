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

namespace brelvix::parallax {
namespace {

/// The lens's channels the check reads and searches.
constexpr const char *kEyeDistanceChannel = "StereoDistance";
constexpr const char *kEyeAngleChannel = "StereoAngle";

bool endsWith(const std::string &text, const std::string &end) {
    if (text.size() < end.size()) {
        return false;
    }
    return std::equal(end.rbegin(), end.rend(), text.rbegin(),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

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

/// The check over every frame asked for; the exit status.
int check(const render::RenderOptions &options, const ParallaxRequest &request, std::ostream &out,
          std::ostream &err, const std::atomic<int> *stop) {
    std::vector<FrameReport> reports;
    ReportSetting setting{unitsOf(options), request.budget, 0, 0};
    const auto interrupted = [stop] { return stop != nullptr && *stop != 0; };
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    double measureSeconds = 0.0;
    double searchSeconds = 0.0;
    unsigned long long measuredPixels = 0;

    const auto visit = [&](const render::PreparedFrame &frame, std::string &error) {
        for (const std::string &note : frame.notes) {
            render::printError(err, note);
        }
        const render::FilmSettings &film = frame.film;
        setting.eyeWidth = film.width / 2;
        setting.eyeHeight = film.height;
        MeasureSettings settings;
        settings.threads = options.threads;
        settings.view = !request.mapPath.empty();
        const Clock::time_point measureStart = Clock::now();
        const ParallaxField field =
            measureParallax(frame.session.rays(), film, frame.scene, settings, stop);
        if (interrupted()) {
            error = "interrupted";
            return false;
        }
        FrameReport report;
        report.frame = frame.number;
        report.figures = frameFigures(field, request.budget);
        report.zeroPlane = zeroParallaxDistance(EyeRays(frame.session.rays(), film));
        measureSeconds += since(measureStart);
        measuredPixels += field.pixels.size();
        const Clock::time_point searchStart = Clock::now();

        // The eye distance changed and measured again, then put back.
        standin::Channel *const channel = frame.session.channel(kEyeDistanceChannel);
        const standin::Curve kept = channel->curve;
        report.eyeDistance = kept.at(frame.info.start);
        bool prepared = true;
        const MeasureAt measureAt = [&](double eyeDistance, bool full) {
            channel->curve = standin::Curve{eyeDistance, {}};
            prepared = prepared && frame.session.prepareFrame(frame.info, film.filmWidth,
                                                              film.filmHeight, error);
            if (!prepared) {
                // The lens's rays are still the last value's: nothing to measure.
                return FrameFigures{};
            }
            MeasureSettings again;
            again.threads = options.threads;
            again.stride = full ? 1 : 2;
            return frameFigures(
                measureParallax(frame.session.rays(), film, frame.scene, again, stop),
                request.budget);
        };
        report.suggestion =
            suggestEyeDistance(report.eyeDistance, report.figures, request.budget, measureAt);
        channel->curve = kept;
        searchSeconds += since(searchStart);
        if (!prepared ||
            !frame.session.prepareFrame(frame.info, film.filmWidth, film.filmHeight, error)) {
            return false;
        }
        if (interrupted()) {
            error = "interrupted";
            return false;
        }

        out << frameLine(report, setting) << std::flush;
        if (!request.mapPath.empty()) {
            const std::string path = options.frames
                                         ? render::numberedPath(request.mapPath, frame.number)
                                         : request.mapPath;
            char title[200];
            std::snprintf(title, sizeof title,
                          "frame %ld: horizontal parallax; StereoDistance %g %s, StereoAngle %g; "
                          "screen %g m wide",
                          frame.number, report.eyeDistance, setting.units.c_str(),
                          frame.session.channel(kEyeAngleChannel)->curve.at(frame.info.start),
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
            out << path << "\n";
        }
        reports.push_back(report);
        return true;
    };

    // Each file's folder is tried first, so that an unwritable path fails
    // before anything is measured.
    std::string error;
    for (const std::string &path :
         {options.frames && !request.mapPath.empty()
              ? render::numberedPath(request.mapPath, options.frames->first)
              : request.mapPath,
          request.reportPath}) {
        if (!path.empty() && !render::PendingFile::open(path, error)) {
            render::printError(err, error);
            return render::kExitFailure;
        }
    }
    const std::unique_ptr<render::FrameSequence> frames =
        render::FrameSequence::open(options, error, stop);
    bool measured = frames != nullptr;
    for (std::size_t index = 0; measured && index < (frames ? frames->size() : 0); ++index) {
        measured = frames->prepare(index, error) && visit(frames->frame(), error) &&
                   frames->checkTraced(error);
    }
    if (!measured) {
        if (interrupted()) {
            render::printError(err, "interrupted; the files of the frames finished stay");
            return *stop == SIGINT ? render::kExitInterrupted : render::kExitFailure;
        }
        render::printError(err, error);
        return render::kExitFailure;
    }

    if (!request.reportPath.empty()) {
        const std::string text = endsWith(request.reportPath, ".csv")
                                     ? reportCsv(reports, setting)
                                     : reportJson(reports, setting);
        if (!writeFile(request.reportPath, text, error)) {
            render::printError(err, error);
            return render::kExitFailure;
        }
        out << request.reportPath << "\n";
    }
    if (options.frames && !request.mapPath.empty()) {
        std::vector<FrameBracket> brackets;
        for (const FrameReport &r : reports) {
            brackets.push_back({r.frame, r.figures});
        }
        char title[120];
        std::snprintf(title, sizeof title, "Depth brackets, frames %ld to %ld; screen %g m wide",
                      options.frames->first, options.frames->last, request.budget.screenWidth);
        for (const bool svg : {true, false}) {
            const std::string path = chartPath(request.mapPath, svg ? "svg" : "png");
            if (!writeWith(
                    path,
                    [&](std::FILE *file, std::string &failure) {
                        return writeBracketChart(file, svg, brackets, request.budget,
                                                 setting.eyeWidth, title, failure);
                    },
                    error)) {
                render::printError(err, error);
                return render::kExitFailure;
            }
            out << path << "\n";
        }
    }
    if (!options.quiet) {
        char line[200];
        std::snprintf(line, sizeof line,
                      "measured %llu pixels in %.2f s on %d thread%s; the StereoDistance search "
                      "took %.2f s more\n",
                      measuredPixels, measureSeconds, options.threads,
                      options.threads == 1 ? "" : "s", searchSeconds);
        out << line;
    }
    const bool over = std::any_of(reports.begin(), reports.end(),
                                  [](const FrameReport &r) { return r.figures.overBudget; });
    return over ? kExitOverBudget : render::kExitSuccess;
}

} // namespace

int runDepthCheck(const render::RenderOptions &options, const ParallaxRequest &request,
                  std::ostream &out, std::ostream &err, const std::atomic<int> *stop) {
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
