#include "tools/parallax/parallax_tool.h"

#include "tools/parallax/bracket_chart.h"
#include "tools/parallax/parallax_map.h"
#include "tools/parallax/report.h"
#include "tools/render/lens_session.h"
#include "tools/render/pending_file.h"
#include "tools/render/render_tool.h"
#include "tools/render/scene_options.h"
#include "tools/render/shot.h"

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

constexpr const char *kProgram = "brelvix-render";
/// The lens's channels the check reads and searches.
constexpr const char *kEyeDistanceChannel = "StereoDistance";
constexpr const char *kEyeAngleChannel = "StereoAngle";

constexpr const char *kHelp = R"(
Depth check (measures instead of rendering; exit status 3 when a frame is over budget):
  --parallax FILE.png       Parallax map of the left eye's view (numbered with --frames;
                            then also FILE-brackets.svg and .png, the depth-bracket chart)
  --parallax-report FILE    Figures of every frame: JSON, or CSV if FILE ends in .csv
  --screen-width METRES     Target screen width for the divergence limit (default 10)
  --budget NEAR,FAR         Comfort range, percent of the image width (default -1,2)
  --vertical-limit PERCENT  Largest vertical parallax, percent of the height (default 0.2)
)";

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

    const render::FrameVisitor visit = [&](const render::PreparedFrame &frame, std::string &error) {
        for (const std::string &note : frame.notes) {
            err << kProgram << ": " << note << "\n";
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
            err << kProgram << ": " << error << "\n";
            return render::kExitFailure;
        }
    }
    if (!render::visitFrames(options, visit, error, stop)) {
        if (interrupted()) {
            err << kProgram << ": interrupted; the files of the frames finished stay\n";
            return *stop == SIGINT ? render::kExitInterrupted : render::kExitFailure;
        }
        err << kProgram << ": " << error << "\n";
        return render::kExitFailure;
    }

    if (!request.reportPath.empty()) {
        const std::string text = endsWith(request.reportPath, ".csv")
                                     ? reportCsv(reports, setting)
                                     : reportJson(reports, setting);
        if (!writeFile(request.reportPath, text, error)) {
            err << kProgram << ": " << error << "\n";
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
                err << kProgram << ": " << error << "\n";
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

bool parseList(const std::string &text, double &first, double &second) {
    const std::size_t comma = text.find(',');
    return comma != std::string::npos && render::parseNumber(text.substr(0, comma), first) &&
           render::parseNumber(text.substr(comma + 1), second);
}

} // namespace

bool takeParallaxOptions(std::vector<std::string> &arguments, ParallaxRequest &request,
                         std::string &error) {
    static const std::vector<std::string> names{"--parallax", "--parallax-report", "--screen-width",
                                                "--budget", "--vertical-limit"};
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        const std::size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            rest.push_back(argument);
            continue;
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                error = name + " needs a value";
                return false;
            }
            value = arguments[++i];
        }
        double a = 0.0;
        double b = 0.0;
        Budget &budget = request.budget;
        if (name == "--parallax") {
            if (render::outputFormat(value) != render::OutputFormat::png) {
                error = "--parallax " + value + ": the map is a PNG; give a name ending in .png";
                return false;
            }
            request.mapPath = value;
        } else if (name == "--parallax-report") {
            request.reportPath = value;
        } else if (name == "--screen-width") {
            if (!render::parseNumber(value, a) || !(a > 0.0)) {
                error = "--screen-width " + value + ": give the screen's width in metres, above 0";
                return false;
            }
            budget.screenWidth = a;
        } else if (name == "--budget") {
            if (!parseList(value, a, b) || a > 0.0 || b < 0.0) {
                error = "--budget " + value +
                        ": give NEAR,FAR in percent of the width, NEAR at most 0, FAR at least 0";
                return false;
            }
            budget.nearPercent = a;
            budget.farPercent = b;
        } else {
            if (!render::parseNumber(value, a) || !(a >= 0.0)) {
                error = "--vertical-limit " + value + ": give a percent of the height, 0 or more";
                return false;
            }
            budget.verticalPercent = a;
        }
    }
    arguments = rest;
    return true;
}

int runRenderCommand(const std::vector<std::string> &arguments, std::ostream &out,
                     std::ostream &err, bool terminal, const std::atomic<int> *stop) {
    std::vector<std::string> rest = arguments;
    ParallaxRequest request;
    std::string error;
    const std::size_t count = rest.size();
    if (!takeParallaxOptions(rest, request, error)) {
        err << kProgram << ": " << error << "\n";
        return render::kExitUsage;
    }
    const render::ParsedCommandLine parsed = render::parseCommandLine(rest);
    if (parsed.exitCode) {
        if (*parsed.exitCode != render::kExitSuccess) {
            err << kProgram << ": " << parsed.message << "\n";
        } else {
            out << parsed.message << kHelp;
        }
        return *parsed.exitCode;
    }
    if (!request.asked()) {
        if (rest.size() != count) {
            err << kProgram
                << ": --screen-width, --budget and --vertical-limit go with "
                   "--parallax or --parallax-report\n";
            return render::kExitUsage;
        }
        return render::runRenderTool(arguments, out, err, terminal, stop);
    }
    if (!parsed.options.saveScenePath.empty()) {
        // The check renders nothing, so there is no set-up as rendered to save.
        err << kProgram
            << ": --save-scene goes with a render, not with --parallax or "
               "--parallax-report\n";
        return render::kExitUsage;
    }
    try {
        return check(parsed.options, request, out, err, stop);
    } catch (const std::bad_alloc &) {
        err << kProgram << ": not enough memory for the depth check\n";
    } catch (const std::exception &failure) {
        err << kProgram << ": " << failure.what() << "\n";
    }
    return render::kExitFailure;
}

} // namespace brelvix::parallax
