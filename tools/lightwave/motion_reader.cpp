#include "tools/lightwave/motion_reader.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>
#include <string>

namespace brelvix::lightwave {

namespace {

constexpr double kRadiansPerDegree = std::numbers::pi / 180.0;

// The rest of a line as numbers, from word `first` on; nothing if one is not.
std::optional<std::vector<double>> numbers(const std::vector<std::string_view> &lineWords,
                                           std::size_t first) {
    std::vector<double> values;
    for (std::size_t i = first; i < lineWords.size(); ++i) {
        const std::optional<double> value = number(lineWords[i]);
        if (!value) {
            return std::nullopt;
        }
        values.push_back(*value);
    }
    return values;
}

// A count on a line of its own.
bool readCount(LineCursor &lines, std::string_view what, std::size_t &count) {
    const std::vector<std::string_view> lineWords = words(lines.take());
    const std::optional<long long> value =
        lineWords.size() == 1 ? integer(lineWords[0]) : std::nullopt;
    if (!value || *value < 0) {
        return lines.fail("expected the number of ", what);
    }
    count = static_cast<std::size_t>(*value);
    return true;
}

bool readBehavior(LineCursor &lines, std::string_view word, Behavior &behavior) {
    const std::optional<long long> code = integer(word);
    if (!code || *code < 0 || *code > 5) {
        return lines.fail("unknown behaviour \"", word, "\"");
    }
    behavior = static_cast<Behavior>(*code);
    return true;
}

void sortByTime(Envelope &envelope) {
    std::stable_sort(envelope.keys.begin(), envelope.keys.end(),
                     [](const Key &a, const Key &b) { return a.time < b.time; });
}

// Older key line: value, time in seconds, flags (bit 0: linear), tension,
// continuity, bias.
bool readChannelKeys(LineCursor &lines, Envelope &envelope) {
    std::size_t count = 0;
    if (!readCount(lines, "keys", count)) {
        return false;
    }
    for (std::size_t k = 0; k < count; ++k) {
        const std::optional<std::vector<double>> values = numbers(words(lines.take()), 0);
        if (!values || values->size() != 6) {
            return lines.fail("expected a key: value, time, flags, tension, continuity, bias");
        }
        const std::vector<double> &v = *values;
        const bool linear = std::fmod(std::trunc(std::abs(v[2])), 2.0) == 1.0;
        envelope.keys.push_back(
            Key{v[0], v[1], linear ? SpanType::linear : SpanType::tcb, {v[3], v[4], v[5]}});
    }
    sortByTime(envelope);
    return true;
}

// Oldest form: per key, every channel's value, then frame, linear flag,
// tension, continuity, bias.
bool readFrameKeys(LineCursor &lines, std::array<Envelope, channelCount> &motion,
                   std::size_t channels, double framesPerSecond) {
    std::size_t count = 0;
    if (!readCount(lines, "keys", count)) {
        return false;
    }
    for (std::size_t k = 0; k < count; ++k) {
        const std::optional<std::vector<double>> values = numbers(words(lines.take()), 0);
        if (!values || values->size() != channels) {
            return lines.fail("expected ", channels, " channel values");
        }
        const std::optional<std::vector<double>> spline = numbers(words(lines.take()), 0);
        if (!spline || spline->size() != 5) {
            return lines.fail("expected frame, linear, tension, continuity, bias");
        }
        const std::vector<double> &s = *spline;
        const SpanType span = s[1] != 0.0 ? SpanType::linear : SpanType::tcb;
        for (std::size_t c = 0; c < channels && c < channelCount; ++c) {
            motion[c].keys.push_back(
                Key{(*values)[c], s[0] / framesPerSecond, span, {s[2], s[3], s[4]}});
        }
    }
    for (Envelope &envelope : motion) {
        sortByTime(envelope);
    }
    return true;
}

} // namespace

bool readEnvelope(LineCursor &lines, Envelope &envelope) {
    const std::vector<std::string_view> open = words(lines.take());
    if (open.size() != 2 || open[0] != "{" || open[1] != "Envelope") {
        return lines.fail("expected \"{ Envelope\"");
    }
    std::size_t count = 0;
    if (!readCount(lines, "keys", count)) {
        return false;
    }
    envelope.keys.clear();
    for (std::size_t k = 0; k < count; ++k) {
        const std::vector<std::string_view> lineWords = words(lines.take());
        const std::optional<std::vector<double>> values =
            !lineWords.empty() && lineWords[0] == "Key" ? numbers(lineWords, 1) : std::nullopt;
        if (!values || values->size() < 3 || values->size() > 9) {
            return lines.fail("expected \"Key value time spantype p1 p2 p3 p4 p5 p6\"");
        }
        const std::vector<double> &v = *values;
        if (v[2] != 0.0 && v[2] != 1.0 && v[2] != 2.0 && v[2] != 3.0 && v[2] != 4.0 &&
            v[2] != 5.0) {
            return lines.fail("unknown span type \"", lineWords[3], "\"");
        }
        Key key{v[0], v[1], static_cast<SpanType>(static_cast<int>(v[2])), {}};
        std::copy(v.begin() + 3, v.end(), key.params.begin());
        envelope.keys.push_back(key);
    }
    const std::vector<std::string_view> behaviors = words(lines.take());
    if (behaviors.size() != 3 || behaviors[0] != "Behaviors") {
        return lines.fail("expected \"Behaviors pre post\"");
    }
    if (!readBehavior(lines, behaviors[1], envelope.pre) ||
        !readBehavior(lines, behaviors[2], envelope.post)) {
        return false;
    }
    const std::vector<std::string_view> close = words(lines.take());
    if (close.size() != 1 || close[0] != "}") {
        return lines.fail("expected \"}\" to close the envelope");
    }
    sortByTime(envelope);
    return true;
}

bool readSetting(LineCursor &lines, const std::vector<std::string_view> &lineWords,
                 Envelope &envelope) {
    if (lineWords.size() == 2 && lineWords[1] == "(envelope)") {
        return readEnvelope(lines, envelope);
    }
    const std::optional<double> value = lineWords.size() == 2 ? number(lineWords[1]) : std::nullopt;
    if (!value) {
        return lines.fail("expected a number or \"(envelope)\" after ", lineWords[0]);
    }
    envelope = constantEnvelope(*value);
    return true;
}

bool readMotion(LineCursor &lines, std::array<Envelope, channelCount> &motion,
                double framesPerSecond) {
    const std::vector<std::string_view> first = words(lines.peek());
    if (!first.empty() && first[0] == "NumChannels") {
        lines.take();
        const std::optional<long long> channels =
            first.size() == 2 ? integer(first[1]) : std::nullopt;
        if (!channels || *channels < 0) {
            return lines.fail("expected \"NumChannels n\"");
        }
        for (long long c = 0; c < *channels; ++c) {
            const std::vector<std::string_view> header = words(lines.take());
            const std::optional<long long> index =
                header.size() == 2 && header[0] == "Channel" ? integer(header[1]) : std::nullopt;
            if (!index || *index < 0) {
                return lines.fail("expected \"Channel n\"");
            }
            Envelope envelope;
            if (!readEnvelope(lines, envelope)) {
                return false;
            }
            if (*index < static_cast<long long>(channelCount)) {
                motion[static_cast<std::size_t>(*index)] = std::move(envelope);
            }
        }
        return true;
    }

    // The older forms: after the channel and key counts, a line of five
    // numbers after the first key line means one key line holds all channels.
    std::size_t channels = 0;
    if (!readCount(lines, "channels", channels)) {
        return false;
    }
    std::array<Envelope, channelCount> read;
    for (Envelope &envelope : read) {
        envelope.keys.clear();
    }
    if (words(lines.peek(2)).size() == 5) {
        if (!readFrameKeys(lines, read, channels, framesPerSecond)) {
            return false;
        }
    } else {
        for (std::size_t c = 0; c < channels; ++c) {
            Envelope ignored;
            if (!readChannelKeys(lines, c < channelCount ? read[c] : ignored)) {
                return false;
            }
        }
    }
    for (std::size_t c = 0; c < channels && c < channelCount; ++c) {
        if (c == heading || c == pitch || c == bank) {
            for (Key &key : read[c].keys) {
                key.value *= kRadiansPerDegree;
            }
        }
        motion[c] = std::move(read[c]);
    }
    return true;
}

} // namespace brelvix::lightwave
