// The scene text's internals, shared by the scene files (scene_file.cpp) and
// the channels' own lines (scene_text.cpp): the states behind SceneWriter and
// SceneReader, and the parsing of a line's words.
#ifndef BRELVIX_HOST_SCENE_TEXT_H
#define BRELVIX_HOST_SCENE_TEXT_H

#include "host/scene_file.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace brelvix::standin {

inline constexpr std::uint32_t kWriterTag = 0x57524954; // "WRIT"
inline constexpr std::uint32_t kReaderTag = 0x52454144; // "READ"

struct SceneWriter::Impl {
    std::uint32_t tag = kWriterTag;
    std::string text;
    SaveState state{};

    void writeLine(const std::string &line) {
        text += line;
        text += '\n';
    }
};

struct SceneReader::Impl {
    std::uint32_t tag = kReaderTag;
    std::string text;
    std::size_t position = 0;       // offset of the next line
    int lineNumber = 1;             // number of the next line, counted from 1
    std::deque<std::string> errors; // every error text handed out stays valid
    LoadState state{};

    bool exhausted() const { return position >= text.size(); }

    /// The next line without its end, not consumed.
    std::string_view peekLine(std::size_t &next) const {
        const std::size_t end = text.find('\n', position);
        const std::size_t stop = end == std::string::npos ? text.size() : end;
        next = end == std::string::npos ? text.size() : end + 1;
        std::string_view line(text.data() + position, stop - position);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return line;
    }

    void consume(std::size_t next) {
        position = next;
        ++lineNumber;
    }

    const char *error(int line, const char *what) {
        errors.push_back("Scene line " + std::to_string(line) + ": " + what);
        return errors.back().c_str();
    }
};

/// The writer or reader behind a handle of a scene state; null for a handle
/// that is not one of the host's.
inline SceneWriter::Impl *asWriter(void *writer) {
    auto *const impl = static_cast<SceneWriter::Impl *>(writer);
    return impl != nullptr && impl->tag == kWriterTag ? impl : nullptr;
}

inline SceneReader::Impl *asReader(void *reader) {
    auto *const impl = static_cast<SceneReader::Impl *>(reader);
    return impl != nullptr && impl->tag == kReaderTag ? impl : nullptr;
}

/// The words of a line, split at spaces and tabs.
std::vector<std::string> splitWords(std::string_view line);
/// The whole word as a finite double; false when any of it is not part of
/// the number, or it is NaN, an infinity or beyond the double range.
bool parseDouble(const std::string &word, double &value);
/// The whole word as a float, NaN and infinities included; false when any of
/// it is not part of the number or it is beyond the float range.
bool parseFloat(const std::string &word, float &value);
/// The whole word as a count without a sign.
bool parseCount(const std::string &word, long &value);

} // namespace brelvix::standin

#endif
