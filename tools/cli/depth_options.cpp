#include "tools/cli/depth_options.h"

#include "tools/render/render_options.h"

#include <cmath>

namespace brelvix::cli {
namespace {

constexpr const char *kGroup =
    "Depth check (measures instead of rendering; exit status 3 when a frame is over budget)";

bool parseList(const std::string &text, double &first, double &second) {
    const std::size_t comma = text.find(',');
    return comma != std::string::npos && render::parseNumber(text.substr(0, comma), first) &&
           render::parseNumber(text.substr(comma + 1), second);
}

bool given(const CLI::Option *option) { return option != nullptr && option->count() > 0; }

} // namespace

void addDepthOptions(CLI::App &app, DepthArguments &arguments) {
    arguments.mapOption =
        app.add_option("--parallax", arguments.map,
                       "Parallax map of the left eye's view (numbered with --frames;\n"
                       "then also FILE-brackets.svg and .png, the depth-bracket chart)")
            ->option_text("FILE.png")
            ->group(kGroup);
    app.add_option("--parallax-report", arguments.report,
                   "Figures and advice of every frame: FILE.json or FILE.csv")
        ->option_text("FILE")
        ->group(kGroup);
    arguments.screenWidthOption =
        app.add_option("--screen-width", arguments.screenWidth,
                       "Target screen width for the divergence limit (default 10)")
            ->option_text("METRES")
            ->group(kGroup);
    arguments.budgetOption =
        app.add_option("--budget", arguments.budget,
                       "Comfort range, percent of the image width (default -1,2)")
            ->option_text("NEAR,FAR")
            ->group(kGroup);
    arguments.verticalLimitOption =
        app.add_option("--vertical-limit", arguments.verticalLimit,
                       "Largest vertical parallax, percent of the height\n(default 0.2)")
            ->option_text("PERCENT")
            ->group(kGroup);
    arguments.percentileOption =
        app.add_option("--percentile", arguments.percentile,
                       "Hold the P-th and (100-P)-th percentiles to the budget\n"
                       "(default 1; 0: the extremes)")
            ->option_text("P")
            ->group(kGroup);
    arguments.imageShiftOption =
        app.add_option("--image-shift", arguments.imageShift,
                       "Shift of the right eye's image in post, pixels (default 0)")
            ->option_text("PX")
            ->group(kGroup);
}

bool budgetGiven(const DepthArguments &arguments) {
    return given(arguments.screenWidthOption) || given(arguments.budgetOption) ||
           given(arguments.verticalLimitOption) || given(arguments.percentileOption) ||
           given(arguments.imageShiftOption);
}

bool applyDepthArguments(const CLI::App &app, const DepthArguments &arguments,
                         const render::RenderOptions &options, parallax::ParallaxRequest &request,
                         std::string &error) {
    if (given(arguments.mapOption) &&
        render::outputFormat(arguments.map) != render::OutputFormat::png) {
        error = "--parallax " + arguments.map + ": the map is a PNG; give a name ending in .png";
        return false;
    }
    request.mapPath = arguments.map;
    request.reportPath = arguments.report;
    parallax::Budget &budget = request.budget;
    double a = 0.0;
    double b = 0.0;
    if (const std::string &value = arguments.screenWidth; given(arguments.screenWidthOption)) {
        if (!render::parseNumber(value, a) || !(a > 0.0)) {
            error = "--screen-width " + value + ": give the screen's width in metres, above 0";
            return false;
        }
        budget.screenWidth = a;
    }
    if (const std::string &value = arguments.budget; given(arguments.budgetOption)) {
        if (!parseList(value, a, b) || a > 0.0 || b < 0.0) {
            error = "--budget " + value +
                    ": give NEAR,FAR in percent of the width, NEAR at most 0, FAR at least 0";
            return false;
        }
        budget.nearPercent = a;
        budget.farPercent = b;
    }
    if (const std::string &value = arguments.verticalLimit; given(arguments.verticalLimitOption)) {
        if (!render::parseNumber(value, a) || !(a >= 0.0)) {
            error = "--vertical-limit " + value + ": give a percent of the height, 0 or more";
            return false;
        }
        budget.verticalPercent = a;
    }
    if (const std::string &value = arguments.percentile; given(arguments.percentileOption)) {
        if (!render::parseNumber(value, a) || !(a >= 0.0 && a < 50.0)) {
            error = "--percentile " + value + ": give a percentile from 0 to below 50";
            return false;
        }
        budget.percentile = a;
    }
    if (const std::string &value = arguments.imageShift; given(arguments.imageShiftOption)) {
        if (!render::parseNumber(value, a) || !std::isfinite(a)) {
            error = "--image-shift " + value + ": give a shift in pixels";
            return false;
        }
        budget.imageShift = a;
    }
    // The renderer's outputs, which the check does not write, as the parser
    // counted them under any of their names.
    request.renderOutputGiven = app.count("--output") > 0;
    request.anaglyphGiven = app.count("--anaglyph") > 0;
    return !request.asked() || parallax::validate(request, options, error);
}

} // namespace brelvix::cli
