// The scene text's numbers and words, and the lines a channel saves itself
// in and loads itself from (the format is described in scene_file.h).
#include "host/scene_text.h"
#include "host/host_state.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace brelvix::standin {

std::string formatDouble(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

std::string formatFloat(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
    return buffer;
}

std::string formatPointer(const void *pointer) {
    if (pointer == nullptr) {
        return "0";
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(pointer));
    return buffer;
}

std::vector<std::string> splitWords(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.emplace_back(line.substr(start, i - start));
        }
    }
    return words;
}

// A channel's values and times are finite: NaN, infinities and overflow are
// damage; underflow to a subnormal or zero is a real value.
bool parseDouble(const std::string &word, double &value) {
    if (word.empty()) {
        return false;
    }
    char *end = nullptr;
    value = std::strtod(word.c_str(), &end);
    return end == word.c_str() + word.size() && std::isfinite(value);
}

bool parseFloat(const std::string &word, float &value) {
    if (word.empty()) {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    value = std::strtof(word.c_str(), &end);
    return end == word.c_str() + word.size() && !(errno == ERANGE && std::isinf(value));
}

bool parseCount(const std::string &word, long &value) {
    if (word.empty() || word[0] == '-' || word[0] == '+') {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    value = std::strtol(word.c_str(), &end, 10);
    return end == word.c_str() + word.size() && errno == 0;
}

const char *saveCurve(const Curve &curve, const SaveState *state) {
    SceneWriter::Impl *const impl = state != nullptr ? asWriter(state->writer) : nullptr;
    if (impl == nullptr) {
        return "Stand-in host: not a scene being written";
    }
    impl->writeLine("channel " + std::to_string(curve.keys.size()) + " " +
                    formatDouble(curve.constant));
    for (const Key &key : curve.keys) {
        impl->writeLine("key " + formatDouble(key.time) + " " + formatDouble(key.value));
    }
    return nullptr;
}

const char *loadCurve(Curve &curve, const LoadState *state) {
    SceneReader::Impl *const impl = state != nullptr ? asReader(state->reader) : nullptr;
    if (impl == nullptr) {
        return "Stand-in host: not a scene being read";
    }
    const std::size_t start = impl->position;
    const int startLine = impl->lineNumber;
    const auto fail = [&](const char *what) {
        const char *const text = impl->error(impl->lineNumber, what);
        impl->position = start;
        impl->lineNumber = startLine;
        return text;
    };

    if (impl->exhausted()) {
        return fail("expected a channel");
    }
    std::size_t next = 0;
    std::vector<std::string> words = splitWords(impl->peekLine(next));
    if (words.empty() || words[0] != "channel") {
        return fail("expected a channel");
    }
    long keyCount = 0;
    Curve loaded;
    if (words.size() != 3 || !parseCount(words[1], keyCount) ||
        !parseDouble(words[2], loaded.constant)) {
        return fail("damaged channel");
    }
    impl->consume(next);
    for (long i = 0; i < keyCount; ++i) {
        if (impl->exhausted()) {
            return fail("expected a key");
        }
        words = splitWords(impl->peekLine(next));
        if (words.empty() || words[0] != "key") {
            return fail("expected a key");
        }
        Key key{};
        if (words.size() != 3 || !parseDouble(words[1], key.time) ||
            !parseDouble(words[2], key.value)) {
            return fail("damaged key");
        }
        if (!loaded.keys.empty() && !(key.time > loaded.keys.back().time)) {
            return fail("key out of order");
        }
        loaded.keys.push_back(key);
        impl->consume(next);
    }
    curve = std::move(loaded);
    return nullptr;
}

} // namespace brelvix::standin
