// Error lines that stay one short line whatever a file holds: text quoted
// from a file or a command line is cut to a few dozen characters, and
// control characters (a line break, an escape sequence for the terminal)
// are written as escapes rather than echoed.
#ifndef BRELVIX_TOOLS_OUTPUT_ERROR_TEXT_H
#define BRELVIX_TOOLS_OUTPUT_ERROR_TEXT_H

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace brelvix::render {

/// Text quoted in an error: at most this many characters of it.
inline constexpr std::size_t kQuotedCharacters = 80;

/// `text` with control characters and DEL escaped (\n, \t, \x1b, ...), cut
/// to `most` characters followed by "... (N bytes)" when longer.
std::string excerpt(std::string_view text, std::size_t most = kQuotedCharacters);

/// A whole error line made safe to print: control characters escaped, and
/// each run without a space longer than twice `kQuotedCharacters` (a word
/// of a damaged file; a path is rarely so long) quoted as above.
std::string errorLine(std::string_view line);

/// The program's name at the start of its error lines.
inline constexpr const char *kProgram = "brelvix-render";

/// Every error the programs print: "brelvix-render: " and `line` made safe
/// by errorLine, on one line of `err`.
void printError(std::ostream &err, std::string_view line);

} // namespace brelvix::render

#endif
