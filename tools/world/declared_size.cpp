#include "tools/world/declared_size.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

namespace brelvix::world {
namespace {

/// The header words: at most this many bytes are read.
constexpr std::size_t kHeaderBytes = 64 * 1024;

std::string lowerExtension(const std::string &path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string readHeader(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::string header(kHeaderBytes, '\0');
    file.read(header.data(), static_cast<std::streamsize>(header.size()));
    header.resize(static_cast<std::size_t>(file.gcount()));
    return header;
}

/// A count as the readers take it: the digits it starts with, whatever
/// follows them ("4000000000x" is 4000000000), saturated rather than
/// wrapped (the reader wraps it).
bool parseCount(const std::string &word, uint64_t &count) {
    if (word.empty() || std::isdigit(static_cast<unsigned char>(word[0])) == 0) {
        return false;
    }
    count = 0;
    for (const char digit : word) {
        if (std::isdigit(static_cast<unsigned char>(digit)) == 0) {
            break;
        }
        const uint64_t value = static_cast<uint64_t>(digit - '0');
        count = count > (UINT64_MAX - value) / 10 ? UINT64_MAX : count * 10 + value;
    }
    return true;
}

/// OFF: a keyword line ("OFF", "COFF", "NOFF", ...), comments, then the
/// vertex, face and edge counts.
std::string offFault(const std::string &header, uint64_t fileSize) {
    std::istringstream lines(header);
    std::string line;
    std::vector<std::string> words;
    bool keyword = true;
    // "nOFF" (and "CnOFF", ...) gives the dimension before the counts.
    bool dimension = false;
    while (words.size() < 3 && std::getline(lines, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream wordsOfLine(line);
        std::string word;
        while (words.size() < 3 && wordsOfLine >> word) {
            if (keyword && word.find("OFF") != std::string::npos) {
                dimension = word.find("nOFF") != std::string::npos;
                keyword = false;
                continue;
            }
            keyword = false;
            if (dimension) {
                dimension = false;
                continue;
            }
            words.push_back(word);
        }
    }
    uint64_t vertices = 0;
    uint64_t faces = 0;
    if (words.size() < 2 || !parseCount(words[0], vertices) || !parseCount(words[1], faces)) {
        return {};
    }
    if (vertices > fileSize || faces > fileSize - std::min(vertices, fileSize)) {
        return "declares " + std::to_string(vertices) + " vertices and " + std::to_string(faces) +
               " faces in " + std::to_string(fileSize) + " bytes";
    }
    return {};
}

/// PLY: "element NAME COUNT" lines up to "end_header".
std::string plyFault(const std::string &header, uint64_t fileSize) {
    if (header.find("end_header") == std::string::npos) {
        // Comments past the bytes looked at could hide an element line.
        return "has no end of its header in its first " + std::to_string(kHeaderBytes) + " bytes";
    }
    std::istringstream lines(header);
    std::string line;
    uint64_t total = 0;
    while (std::getline(lines, line) && line.rfind("end_header", 0) != 0) {
        std::istringstream words(line);
        std::string keyword;
        std::string name;
        std::string countWord;
        uint64_t count = 0;
        if (words >> keyword >> name >> countWord && keyword == "element" &&
            parseCount(countWord, count)) {
            total = count > UINT64_MAX - total ? UINT64_MAX : total + count;
            if (total > fileSize) {
                return "declares " + std::to_string(count) + " elements \"" + name + "\" in " +
                       std::to_string(fileSize) + " bytes";
            }
        }
    }
    return {};
}

} // namespace

std::string declaredSizeFault(const std::string &path) {
    std::error_code code;
    const uint64_t fileSize = std::filesystem::file_size(path, code);
    if (code) {
        return {};
    }
    const std::string header = readHeader(path);
    // By content as well as by name: the importers pick a reader by either.
    const std::string extension = lowerExtension(path);
    if (extension == ".ply" || header.rfind("ply", 0) == 0) {
        return plyFault(header, fileSize);
    }
    const std::size_t first = header.find_first_not_of(" \t\r\n");
    const std::size_t firstEnd = header.find_first_of(" \t\r\n#", first);
    const bool offKeyword =
        first != std::string::npos &&
        header.substr(first, firstEnd == std::string::npos ? firstEnd : firstEnd - first)
                .find("OFF") != std::string::npos;
    if (extension == ".off" || offKeyword) {
        return offFault(header, fileSize);
    }
    return {};
}

} // namespace brelvix::world
