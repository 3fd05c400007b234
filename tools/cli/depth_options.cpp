#include "tools/cli/depth_options.h"

#include "tools/render/render_options.h"

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
                   "Figures of every frame: JSON, or CSV if FILE ends in .csv")
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
}

bool budgetGiven(const DepthArguments &arguments) {
    return given(arguments.screenWidthOption) || given(arguments.budgetOption) ||
           given(arguments.verticalLimitOption);
}

bool applyDepthArguments(const DepthArguments &arguments, parallax::ParallaxRequest &request,
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
    return true;
}

} // namespace brelvix::cli
