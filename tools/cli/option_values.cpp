#include "tools/cli/option_values.h"

#include "tools/render/lens_session.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace brelvix::render {

namespace option_values {

double number(const std::string &option, const std::string &text) {
    double value = 0.0;
    if (!parseNumber(text, value)) {
        throw UsageError("bad number '" + text + "' for " + option);
    }
    return value;
}

double positive(const std::string &option, const std::string &text) {
    const double value = number(option, text);
    if (!(value > 0.0)) {
        throw UsageError(option + " must be above 0, not " + text);
    }
    return value;
}

int integer(const std::string &option, const std::string &text, long low, long high) {
    long value = 0;
    if (!parseInteger(text, value)) {
        throw UsageError("bad number '" + text + "' for " + option + " (a whole number)");
    }
    if (value < low || value > high) {
        throw UsageError(option + " must be from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not " + text);
    }
    return static_cast<int>(value);
}

Vec3 vector(const std::string &option, const std::string &text) {
    Vec3 value;
    if (!parseVector(text, value)) {
        throw UsageError("bad vector '" + text + "' for " + option + " (expected X,Y,Z)");
    }
    return value;
}

namespace {

const std::string &channelName(const std::string &name) {
    if (std::find(kChannelNames.begin(), kChannelNames.end(), name) == kChannelNames.end()) {
        throw UsageError("unknown channel '" + name +
                         "' (the lens has ZoomFactor, HShift, VShift, StereoDistance, "
                         "StereoAngle)");
    }
    return name;
}

} // namespace

ChannelValue channelValue(const std::string &text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        throw UsageError("bad --set '" + text + "' (expected NAME=VALUE)");
    }
    const std::string name = text.substr(0, equals);
    return {channelName(name), number("--set " + name, text.substr(equals + 1))};
}

ChannelKey channelKey(const std::string &text) {
    const std::size_t at = text.find('@');
    const std::size_t equals = text.find('=', at == std::string::npos ? 0 : at);
    if (at == std::string::npos || equals == std::string::npos) {
        throw UsageError("bad --key '" + text + "' (expected NAME@TIME=VALUE)");
    }
    const std::string name = text.substr(0, at);
    return {channelName(name), number("--key " + name, text.substr(at + 1, equals - at - 1)),
            number("--key " + name, text.substr(equals + 1))};
}

} // namespace option_values

} // namespace brelvix::render
