#include "tools/render/setup_file.h"

#include "tools/output/error_text.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

namespace brelvix::render {
namespace {

constexpr const char *kMagic = "brelvix-render scene";
constexpr const char *kLensLine = "lens";

/// The shortest text that reads back as the same double.
std::string number(double value) {
    char buffer[40];
    const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

std::string vector(const Vec3 &value) {
    return number(value.x) + " " + number(value.y) + " " + number(value.z);
}

std::vector<std::string> words(const std::string &line) {
    std::istringstream stream(line);
    std::vector<std::string> result;
    for (std::string word; stream >> word;) {
        result.push_back(word);
    }
    return result;
}

/// One setting's reader: the words after its name into `options`; false
/// with `what` naming the fault.
using SettingReader =
    std::function<bool(const std::vector<std::string> &, RenderOptions &, std::string &what)>;

bool oneNumber(const std::vector<std::string> &values, double &value, std::string &what) {
    if (values.size() != 1 || !parseNumber(values[0], value)) {
        what = "expected one finite number";
        return false;
    }
    return true;
}

SettingReader positiveNumber(double RenderOptions::*field) {
    return [field](const auto &values, RenderOptions &options, std::string &what) {
        double value = 0.0;
        if (!oneNumber(values, value, what)) {
            return false;
        }
        if (!(value > 0.0)) {
            what = "must be above 0";
            return false;
        }
        options.*field = value;
        return true;
    };
}

SettingReader threeNumbers(Vec3 RenderOptions::*field) {
    return [field](const auto &values, RenderOptions &options, std::string &what) {
        double parts[3] = {};
        for (std::size_t i = 0; i < 3; ++i) {
            if (values.size() != 3 || !parseNumber(values[i], parts[i])) {
                what = "expected three finite numbers";
                return false;
            }
        }
        options.*field = {parts[0], parts[1], parts[2]};
        return true;
    };
}

SettingReader filmSize(double FilmSettings::*field) {
    return [field](const auto &values, RenderOptions &options, std::string &what) {
        double value = 0.0;
        if (!oneNumber(values, value, what) || !(value > 0.0)) {
            what = "expected a number above 0";
            return false;
        }
        options.film.*field = value;
        return true;
    };
}

const std::map<std::string, SettingReader> &settingReaders() {
    static const std::map<std::string, SettingReader> readers = {
        {"position", threeNumbers(&RenderOptions::position)},
        {"target", threeNumbers(&RenderOptions::target)},
        {"move", threeNumbers(&RenderOptions::move)},
        {"focal-distance",
         [](const auto &values, RenderOptions &options, std::string &what) {
             if (values.size() == 1 && values[0] == "target") {
                 options.focalDistance.reset();
                 return true;
             }
             double value = 0.0;
             if (!oneNumber(values, value, what) || !(value > 0.0)) {
                 what = "expected 'target' or a number above 0";
                 return false;
             }
             options.focalDistance = value;
             return true;
         }},
        {"f-stop", positiveNumber(&RenderOptions::fStop)},
        {"film-width", filmSize(&FilmSettings::filmWidth)},
        {"film-height", filmSize(&FilmSettings::filmHeight)},
        {"depth-of-field",
         [](const auto &values, RenderOptions &options, std::string &what) {
             if (values.size() != 1 || (values[0] != "on" && values[0] != "off")) {
                 what = "expected on or off";
                 return false;
             }
             options.film.depthOfField = values[0] == "on";
             return true;
         }},
        {"motion-steps",
         [](const auto &values, RenderOptions &options, std::string &what) {
             long steps = -1;
             if (values.size() != 1 || !parseInteger(values[0], steps) || steps < 0 ||
                 steps > kMaxMotionSteps) {
                 what = "expected a whole number from 0 to " + std::to_string(kMaxMotionSteps);
                 return false;
             }
             options.film.motionSteps = static_cast<int>(steps);
             return true;
         }},
        {"frame-start",
         [](const auto &values, RenderOptions &options, std::string &what) {
             return oneNumber(values, options.frameStart, what);
         }},
        {"frame-duration",
         [](const auto &values, RenderOptions &options, std::string &what) {
             double value = 0.0;
             if (!oneNumber(values, value, what) || value < 0.0) {
                 what = "expected a number not below 0";
                 return false;
             }
             options.frameDuration = value;
             return true;
         }},
    };
    return readers;
}

} // namespace

std::string formatSceneFile(const RenderOptions &options, const std::string &lensData) {
    std::string text = std::string(kMagic) + " " + std::to_string(kSceneFileVersion) + "\n";
    const auto line = [&text](const char *name, const std::string &value) {
        text.append(name).append(" ").append(value).append("\n");
    };
    line("position", vector(options.position));
    line("target", vector(options.target));
    line("move", vector(options.move));
    line("focal-distance", options.focalDistance ? number(*options.focalDistance) : "target");
    line("f-stop", number(options.fStop));
    line("film-width", number(options.film.filmWidth));
    line("film-height", number(options.film.filmHeight));
    line("depth-of-field", options.film.depthOfField ? "on" : "off");
    line("motion-steps", std::to_string(options.film.motionSteps));
    line("frame-start", number(options.frameStart));
    line("frame-duration", number(options.frameDuration));
    text.append(kLensLine).append("\n").append(lensData);
    return text;
}

bool parseSceneFile(const std::string &text, RenderOptions &options, LensData &lens,
                    std::string &error) {
    std::size_t offset = 0;
    int lineNumber = 0;
    // The next line without its end; false at the end of the text.
    const auto nextLine = [&text, &offset, &lineNumber](std::string &line) {
        if (offset >= text.size()) {
            return false;
        }
        const std::size_t end = std::min(text.find('\n', offset), text.size());
        line = text.substr(offset, end - offset);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        offset = std::min(end + 1, text.size());
        ++lineNumber;
        return true;
    };
    const auto fail = [&error, &lineNumber](const std::string &what) {
        error = "Scene line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };

    std::string line;
    nextLine(line);
    const std::vector<std::string> header = words(line);
    if (header.size() < 2 || header[0] + " " + header[1] != kMagic) {
        // Lens data alone, as saved before the set-up was.
        lens = {text, 1};
        return true;
    }
    long version = 0;
    if (header.size() != 3 || !parseInteger(header[2], version) || version < 1) {
        return fail("expected \"" + std::string(kMagic) + " VERSION\"");
    }
    if (version > kSceneFileVersion) {
        return fail("version " + excerpt(header[2]) + " is newer than this brelvix-render reads (" +
                    std::to_string(kSceneFileVersion) + ")");
    }

    RenderOptions loaded = options;
    // Settings the command line gave are checked, but theirs stay.
    RenderOptions overridden = options;
    std::vector<std::string> seen;
    while (nextLine(line)) {
        const std::vector<std::string> parts = words(line);
        if (parts.empty() || parts[0].front() == '#') {
            continue;
        }
        if (parts[0] == kLensLine && parts.size() == 1) {
            if (length(loaded.target - loaded.position) == 0.0) {
                return fail("the target is the camera's position");
            }
            options = loaded;
            lens = {text.substr(offset), lineNumber + 1};
            return true;
        }
        const auto reader = settingReaders().find(parts[0]);
        if (reader == settingReaders().end()) {
            return fail("unknown setting '" + excerpt(parts[0]) + "'");
        }
        if (std::find(seen.begin(), seen.end(), parts[0]) != seen.end()) {
            return fail("'" + parts[0] + "' given twice");
        }
        seen.push_back(parts[0]);
        std::string what;
        if (!reader->second({parts.begin() + 1, parts.end()},
                            options.given(parts[0]) ? overridden : loaded, what)) {
            return fail(parts[0] + ": " + what);
        }
    }
    return fail("expected the line \"lens\" before the end");
}

} // namespace brelvix::render
