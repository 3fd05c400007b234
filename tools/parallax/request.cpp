#include "tools/parallax/parallax_tool.h"

#include "tools/parallax/number_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <utility>
#include <vector>

namespace brelvix::parallax {
bool hasExtension(const std::string &path, const std::string &extension) {
    if (path.size() < extension.size()) {
        return false;
    }
    return std::equal(extension.rbegin(), extension.rend(), path.rbegin(),
                      [](char a, char b) { return std::tolower(a) == std::tolower(b); });
}

bool validate(const ParallaxRequest &request, const render::RenderOptions &options,
              std::string &error) {
    // The check renders nothing: no picture, and no set-up as rendered. The
    // line names every one of the renderer's outputs given.
    std::vector<std::string> refused;
    for (const auto &[given, name] : {std::pair{request.renderOutputGiven, "--output"},
                                      std::pair{request.anaglyphGiven, "--anaglyph"},
                                      std::pair{!options.saveScenePath.empty(), "--save-scene"}}) {
        if (given) {
            refused.emplace_back(name);
        }
    }
    if (!refused.empty()) {
        error.clear();
        for (std::size_t i = 0; i < refused.size(); ++i) {
            error += (i == 0 ? "" : i + 1 == refused.size() ? " and " : ", ") + refused[i];
        }
        error += std::string(refused.size() == 1 ? " goes" : " go") +
                 " with a render, not with --parallax or --parallax-report";
        return false;
    }
    // The report's ending tells it from the pictures (.png, .svg).
    if (!request.reportPath.empty() && !hasExtension(request.reportPath, ".json") &&
        !hasExtension(request.reportPath, ".csv")) {
        error = "--parallax-report " + request.reportPath + ": give a name ending in .json or .csv";
        return false;
    }
    const double floor = kVerticalPrecisionPixels / options.film.height * 100.0;
    if (request.budget.verticalPercent < floor) {
        char given[32];
        std::snprintf(given, sizeof given, "%g", request.budget.verticalPercent);
        error = "--vertical-limit " + std::string(given) + ": below the measurement's precision, " +
                fixed(kVerticalPrecisionPixels, 2) + " px (" + fixed(floor, 4) + " % of " +
                std::to_string(options.film.height) + " rows)";
        return false;
    }
    return true;
}

} // namespace brelvix::parallax
