#include "tools/output/error_text.h"

#include <cstdio>
#include <ostream>

namespace brelvix::render {
namespace {

void appendEscaped(std::string &out, unsigned char c) {
    switch (c) {
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    if (c < 0x20 || c == 0x7F) {
        char escape[5];
        std::snprintf(escape, sizeof escape, "\\x%02x", c);
        out += escape;
    } else {
        out += static_cast<char>(c);
    }
}

} // namespace

std::string excerpt(std::string_view text, std::size_t most) {
    std::string out;
    const std::string_view shown = text.substr(0, most);
    for (const char c : shown) {
        appendEscaped(out, static_cast<unsigned char>(c));
    }
    if (shown.size() < text.size()) {
        out += "... (" + std::to_string(text.size()) + " bytes)";
    }
    return out;
}

std::string errorLine(std::string_view line) {
    std::string out;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t space = line.find(' ', start);
        const std::size_t end = space == std::string_view::npos ? line.size() : space;
        const std::string_view word = line.substr(start, end - start);
        out += excerpt(word, word.size() > 2 * kQuotedCharacters ? kQuotedCharacters : word.size());
        if (end < line.size()) {
            out += ' ';
        }
        start = end + 1;
    }
    // Many short words still make one line of a terminal or two.
    constexpr std::size_t kLongest = 6 * kQuotedCharacters;
    if (out.size() > kLongest) {
        out.resize(kLongest);
        out += "...";
    }
    return out;
}

void printError(std::ostream &err, std::string_view line) {
    err << kProgram << ": " << errorLine(line) << "\n";
}

} // namespace brelvix::render
