// The scene reader's view of a file: its lines one after another (ended by
// LF, CR LF or CR alike), their words and numbers, and the first fault found,
// named with its line.
#ifndef BRELVIX_TOOLS_LIGHTWAVE_LINE_CURSOR_H
#define BRELVIX_TOOLS_LIGHTWAVE_LINE_CURSOR_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brelvix::lightwave {

/// The whitespace-separated words of a line, as views into it.
std::vector<std::string_view> words(std::string_view line);

/// A finite decimal number, or nothing.
std::optional<double> number(std::string_view word);

/// A whole number in `base` (10, or 16 for item ids), or nothing.
std::optional<long long> integer(std::string_view word, int base = 10);

/// The word in double quotes, for fault texts.
std::string quoted(std::string_view word);

/// The part of `line` from `word` (a view into it) to the end, trimmed.
std::string_view restOfLine(std::string_view line, std::string_view word);

class LineCursor {
  public:
    LineCursor(std::string_view text, std::string fileName);

    bool atEnd() const { return next_ >= lines_.size(); }
    /// Lines in the file.
    std::size_t size() const { return lines_.size(); }
    /// Lines not taken yet.
    std::size_t remaining() const { return atEnd() ? 0 : lines_.size() - next_; }
    /// Takes the next line (empty at the end); `line()` is then its number.
    std::string_view take();
    /// The line `ahead` lines after the last one taken, without taking it.
    std::string_view peek(std::size_t ahead = 0) const;
    /// Number (1 first) of the line last taken.
    int line() const { return static_cast<int>(next_); }

    /// Records "FILE:LINE: fault" for the line last taken, unless a fault is
    /// already recorded, and returns false. Past the last line the text is
    /// "FILE: at the end of the file: fault", for an empty file "FILE: an
    /// empty file, not a scene".
    template <typename... Parts> bool fail(const Parts &...parts) {
        return failAt(line(), parts...);
    }
    /// The same for line `lineNumber`. The fault is the parts (texts and
    /// whole numbers) one after another.
    template <typename... Parts> bool failAt(int lineNumber, const Parts &...parts) {
        std::string fault;
        (append(fault, parts), ...);
        return record(lineNumber, fault);
    }
    const std::string &error() const { return error_; }
    const std::string &fileName() const { return fileName_; }

  private:
    static void append(std::string &text, std::string_view part) { text += part; }
    static void append(std::string &text, long long number) { text += std::to_string(number); }
    bool record(int lineNumber, const std::string &fault);

    std::vector<std::string_view> lines_;
    std::size_t next_ = 0;
    std::string fileName_;
    std::string error_;
};

} // namespace brelvix::lightwave

#endif
