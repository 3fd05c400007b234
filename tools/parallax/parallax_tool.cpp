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
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <ostream>

namespace brelvix::parallax {
namespace {

constexpr const char *kProgram = "brelvix-render";

constexpr const char *kHelp = R"(
Depth check (measures instead of rendering; exit status 3 when a frame is over budget):
  --parallax FILE.png       Parallax map of the left eye's view (numbered with --frames;
                            then also FILE-brackets.svg and .png, the depth-bracket chart)
  --parallax-report FILE    Figures and advice of every frame: FILE.json or FILE.csv
  --screen-width METRES     Target screen width for the divergence limit (default 10)
  --budget NEAR,FAR         Comfort range, percent of the image width (default -1,2)
  --vertical-limit PERCENT  Largest vertical parallax, percent of the height (default 0.2)
  --percentile P            Hold the P-th and (100-P)-th percentiles to the budget
                            (default 1; 0: the extremes)
  --image-shift PX          Shift of the right eye's image in post, pixels (default 0)
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
        run.err << kProgram << ": " << note << "\n";
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
    const std::string text = endsWith(path, ".csv") ? reportCsv(run.reports, run.setting)
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

/// The check over every frame asked for; the exit status.
int check(const render::RenderOptions &options, const ParallaxRequest &request, std::ostream &out,
          std::ostream &err, const std::atomic<int> *stop) {
    Run run{options, request, out, err, stop, {unitsOf(options), request.budget, 0, 0}, {}};
    std::string error;
    const render::FrameVisitor visit = [&run](const render::PreparedFrame &frame,
                                              std::string &failure) {
        return checkOne(run, frame, failure);
    };
    const bool checked = tryFolders(run, error) && render::visitFrames(options, visit, error, stop);
    if (!checked && run.interrupted()) {
        err << kProgram << ": interrupted; the files of the frames finished stay\n";
        return *stop == SIGINT ? render::kExitInterrupted : render::kExitFailure;
    }
    if (!checked || (!request.reportPath.empty() && !writeReport(run, error)) ||
        (options.frames && !request.mapPath.empty() && !writeCharts(run, error))) {
        err << kProgram << ": " << error << "\n";
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

bool parseList(const std::string &text, double &first, double &second) {
    const std::size_t comma = text.find(',');
    return comma != std::string::npos && render::parseNumber(text.substr(0, comma), first) &&
           render::parseNumber(text.substr(comma + 1), second);
}

/// One of the check's options and its value into `request`; false with a
/// one-line `error` for a bad value.
bool takeValue(const std::string &name, const std::string &value, ParallaxRequest &request,
               std::string &error) {
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
    } else if (name == "--percentile") {
        if (!render::parseNumber(value, a) || !(a >= 0.0 && a < 50.0)) {
            error = "--percentile " + value + ": give a percentile from 0 to below 50";
            return false;
        }
        budget.percentile = a;
    } else if (name == "--image-shift") {
        if (!render::parseNumber(value, a) || !std::isfinite(a)) {
            error = "--image-shift " + value + ": give a shift in pixels";
            return false;
        }
        budget.imageShift = a;
    } else {
        if (!render::parseNumber(value, a) || !(a >= 0.0)) {
            error = "--vertical-limit " + value + ": give a percent of the height, 0 or more";
            return false;
        }
        budget.verticalPercent = a;
    }
    return true;
}

/// Whether the renderer's arguments give its output file or --anaglyph.
void noteRenderOutputs(const std::vector<std::string> &arguments, ParallaxRequest &request) {
    for (const std::string &argument : arguments) {
        request.renderOutputGiven = request.renderOutputGiven || argument == "--output" ||
                                    argument.rfind("--output=", 0) == 0 ||
                                    argument.rfind("-o", 0) == 0;
        request.anaglyphGiven = request.anaglyphGiven || argument == "--anaglyph";
    }
}

} // namespace

bool takeParallaxOptions(std::vector<std::string> &arguments, ParallaxRequest &request,
                         std::string &error) {
    static const std::vector<std::string> names{
        "--parallax",       "--parallax-report", "--screen-width", "--budget",
        "--vertical-limit", "--percentile",      "--image-shift"};
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
        if (!takeValue(name, value, request, error)) {
            return false;
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
                << ": --screen-width, --budget, --vertical-limit, --percentile and "
                   "--image-shift go with --parallax or --parallax-report\n";
            return render::kExitUsage;
        }
        return render::runRenderTool(arguments, out, err, terminal, stop);
    }
    noteRenderOutputs(rest, request);
    if (!validate(request, parsed.options, error)) {
        err << kProgram << ": " << error << "\n";
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
