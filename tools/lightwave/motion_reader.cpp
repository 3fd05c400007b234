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

// A count on a line of its own, of things that take at least `linesEach`
// lines each: no larger than the rest of the file can hold, so that nothing
// is sized or looped over by a number the file cannot back. Channels of the
// older forms may share lines (0): nothing is sized by their count, and a
// loop over them ends with the file's lines.
bool readCount(LineCursor &lines, std::string_view what, std::size_t &count,
               std::size_t linesEach = 1) {
    const std::vector<std::string_view> lineWords = words(lines.take());
    const std::optional<long long> value =
        lineWords.size() == 1 ? integer(lineWords[0]) : std::nullopt;
    if (!value || *value < 0) {
        return lines.fail("expected the number of ", what);
    }
    if (linesEach > 0 && static_cast<unsigned long long>(*value) > lines.remaining() / linesEach) {
        return lines.fail(*value, " ", what, ", more than the rest of the file holds");
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
bool readFrameKeys(LineCursor &lines, Envelope *kept, std::size_t keptCount, std::size_t channels,
                   double framesPerSecond) {
    std::size_t count = 0;
    if (!readCount(lines, "keys", count, 2)) {
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
        for (std::size_t c = 0; c < channels && c < keptCount; ++c) {
            kept[c].keys.push_back(
                Key{(*values)[c], s[0] / framesPerSecond, span, {s[2], s[3], s[4]}});
        }
    }
    for (std::size_t c = 0; c < keptCount; ++c) {
        sortByTime(kept[c]);
    }
    return true;
}

// The older forms after their channel count: a line of five numbers two
// lines on (after the key count and the first key's values) means the
// oldest form, one key line for all channels. Channels past `keptCount` are
// read and dropped.
bool readOlderKeys(LineCursor &lines, Envelope *kept, std::size_t keptCount, std::size_t channels,
                   double framesPerSecond) {
    for (std::size_t c = 0; c < keptCount; ++c) {
        kept[c].keys.clear();
    }
    if (words(lines.peek(2)).size() == 5) {
        return readFrameKeys(lines, kept, keptCount, channels, framesPerSecond);
    }
    for (std::size_t c = 0; c < channels; ++c) {
        Envelope ignored;
        if (!readChannelKeys(lines, c < keptCount ? kept[c] : ignored)) {
            return false;
        }
    }
    return true;
}

} // namespace

Behavior endBehavior(double code) {
    return code == 0.0 ? Behavior::reset : code == 2.0 ? Behavior::repeat : Behavior::constant;
}

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
    envelope.keys.reserve(count);
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

bool readOlderEnvelope(LineCursor &lines, Envelope &envelope, double framesPerSecond) {
    std::size_t channels = 0;
    if (!readCount(lines, "channels", channels, 0) ||
        !readOlderKeys(lines, &envelope, 1, channels, framesPerSecond)) {
        return false;
    }
    const std::vector<std::string_view> end = words(lines.peek());
    if (end.size() == 2 && end[0] == "EndBehavior") {
        lines.take();
        const std::optional<double> code = number(end[1]);
        if (!code) {
            return lines.fail("expected \"EndBehavior n\"");
        }
        envelope.post = endBehavior(*code);
    }
    return true;
}

bool readSetting(LineCursor &lines, const std::vector<std::string_view> &lineWords,
                 Envelope &envelope, double framesPerSecond) {
    if (lineWords.size() == 2 && lineWords[1] == "(envelope)") {
        const std::vector<std::string_view> next = words(lines.peek());
        return !next.empty() && next[0].front() == '{'
                   ? readEnvelope(lines, envelope)
                   : readOlderEnvelope(lines, envelope, framesPerSecond);
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
        // Each channel takes at least five lines: its number, an envelope's
        // opening, count, behaviours and closing.
        if (static_cast<unsigned long long>(*channels) > lines.remaining() / 5) {
            return lines.fail(*channels, " channels, more than the rest of the file holds");
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

    // The older forms.
    std::size_t channels = 0;
    if (!readCount(lines, "channels", channels, 0)) {
        return false;
    }
    std::array<Envelope, channelCount> read;
    if (!readOlderKeys(lines, read.data(), channelCount, channels, framesPerSecond)) {
        return false;
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
