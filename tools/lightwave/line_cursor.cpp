#include "tools/lightwave/line_cursor.h"

#include <charconv>
#include <cmath>
#include <system_error>
#include <utility>

namespace brelvix::lightwave {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> result;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isSpace(line[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !isSpace(line[i])) {
            ++i;
        }
        if (i > start) {
            result.push_back(line.substr(start, i - start));
        }
    }
    return result;
}

std::optional<double> number(std::string_view word) {
    if (!word.empty() && word.front() == '+') {
        word.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, status] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (status != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<long long> integer(std::string_view word, int base) {
    long long value = 0;
    const auto [end, status] = std::from_chars(word.data(), word.data() + word.size(), value, base);
    if (status != std::errc() || end != word.data() + word.size() || word.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view word) {
    std::string text;
    text.reserve(word.size() + 2);
    text += '"';
    text += word;
    text += '"';
    return text;
}

std::string_view restOfLine(std::string_view line, std::string_view word) {
    return trim(line.substr(static_cast<std::size_t>(word.data() - line.data())));
}

LineCursor::LineCursor(std::string_view text, std::string fileName)
    : fileName_(std::move(fileName)) {
    // Lines end in LF, CR LF or a lone CR (older Macintosh files), alike.
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines_.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
}

std::string_view LineCursor::take() {
    if (atEnd()) {
        next_ = lines_.size() + 1; // past the end: faults name no line
        return {};
    }
    return lines_[next_++];
}

std::string_view LineCursor::peek(std::size_t ahead) const {
    const std::size_t index = next_ + ahead;
    return index < lines_.size() ? lines_[index] : std::string_view{};
}

bool LineCursor::record(int lineNumber, const std::string &fault) {
    if (!error_.empty()) {
        return false;
    }
    error_ = fileName_;
    if (lines_.empty()) {
        error_ += ": an empty file, not a scene";
    } else if (lineNumber < 1 || static_cast<std::size_t>(lineNumber) > lines_.size()) {
        // Past the last line: no line to name.
        error_ += ": at the end of the file: ";
        error_ += fault;
    } else {
        error_ += ':';
        error_ += std::to_string(lineNumber);
        error_ += ": ";
        error_ += fault;
    }
    return false;
}

} // namespace brelvix::lightwave
