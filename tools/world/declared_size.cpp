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

/// A count as written, saturated rather than wrapped (the reader wraps it).
bool parseCount(const std::string &word, uint64_t &count) {
    if (word.empty() || !std::all_of(word.begin(), word.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return false;
    }
    count = 0;
    for (const char digit : word) {
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
    while (words.size() < 3 && std::getline(lines, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream wordsOfLine(line);
        std::string word;
        while (words.size() < 3 && wordsOfLine >> word) {
            if (words.empty() && word.find("OFF") != std::string::npos) {
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
    const std::string extension = lowerExtension(path);
    if (extension != ".off" && extension != ".ply") {
        return {};
    }
    std::error_code code;
    const uint64_t fileSize = std::filesystem::file_size(path, code);
    if (code) {
        return {};
    }
    const std::string header = readHeader(path);
    return extension == ".off" ? offFault(header, fileSize) : plyFault(header, fileSize);
}

} // namespace brelvix::world
