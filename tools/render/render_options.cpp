#include "tools/render/render_options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace brelvix::render {

std::optional<OutputFormat> outputFormat(const std::string &path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") {
        return OutputFormat::png;
    }
    if (extension == ".exr") {
        return OutputFormat::exr;
    }
    return std::nullopt;
}

std::string numberedPath(const std::string &path, long frame) {
    const std::filesystem::path file(path);
    char number[16];
    std::snprintf(number, sizeof number, ".%04ld", frame);
    return (file.parent_path() / (file.stem().string() + number + file.extension().string()))
        .string();
}

bool parseNumber(const std::string &text, double &value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && errno != ERANGE && std::isfinite(value);
}

bool parseInteger(const std::string &text, long &value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    value = std::strtol(text.c_str(), &end, 10);
    return end == text.c_str() + text.size() && errno != ERANGE;
}

bool parseVector(const std::string &text, Vec3 &value) {
    double parts[3] = {};
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = text.find(',', start);
        const bool last = i == 2;
        if (last != (comma == std::string::npos)) {
            return false;
        }
        const std::string part = text.substr(start, last ? std::string::npos : comma - start);
        if (!parseNumber(part, parts[i])) {
            return false;
        }
        start = comma + 1;
    }
    value = {parts[0], parts[1], parts[2]};
    return true;
}

} // namespace brelvix::render
