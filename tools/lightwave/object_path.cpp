#include "tools/lightwave/object_path.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

namespace brelvix::lightwave {

namespace {

namespace fs = std::filesystem;

/// Where the host's content layout keeps objects, beside Scenes/ and Images/.
const char *const kObjectsFolder = "Objects";

bool isFile(const fs::path &path) {
    std::error_code ignored;
    return fs::is_regular_file(path, ignored);
}

bool sameIgnoringCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// `names` under `base`, each name matched without regard to case where it
// is not there as written (the first match in name order when several
// differ only in case).
std::optional<fs::path> matchIgnoringCase(const fs::path &base,
                                          const std::vector<std::string> &names) {
    fs::path at = base;
    for (const std::string &name : names) {
        std::error_code status;
        if (fs::exists(at / name, status)) {
            at /= name;
            continue;
        }
        std::optional<std::string> match;
        for (fs::directory_iterator entry(at, status), end; !status && entry != end;
             entry.increment(status)) {
            const std::string candidate = entry->path().filename().string();
            if (sameIgnoringCase(candidate, name) && (!match || candidate < *match)) {
                match = candidate;
            }
        }
        if (!match) {
            return std::nullopt;
        }
        at /= *match;
    }
    return isFile(at) ? std::optional<fs::path>(at) : std::nullopt;
}

fs::path joined(const fs::path &base, const std::vector<std::string> &names, std::size_t from) {
    fs::path path = base;
    for (std::size_t i = from; i < names.size(); ++i) {
        path /= names[i];
    }
    return path;
}

} // namespace

std::vector<std::string> pathNames(const std::string &written) {
    std::string rest = written;
    std::replace(rest.begin(), rest.end(), '\\', '/');
    // A drive or volume: everything up to a colon before the first slash.
    const std::size_t colon = rest.find(':');
    if (colon != std::string::npos && colon < rest.find('/')) {
        rest.erase(0, colon + 1);
    }
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= rest.size()) {
        const std::size_t slash = std::min(rest.find('/', start), rest.size());
        const std::string name = rest.substr(start, slash - start);
        if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        start = slash + 1;
    }
    return names;
}

ObjectSearch findObjectFile(const std::string &written, const std::string &scenePath,
                            const std::string &contentFolder) {
    ObjectSearch search;
    std::vector<fs::path> candidates;
    std::set<std::string> seen;
    const auto consider = [&](const fs::path &path) {
        if (seen.insert(path.string()).second) {
            candidates.push_back(path);
            search.tried.push_back(path.string());
        }
    };
    std::string asWritten = written;
    std::replace(asWritten.begin(), asWritten.end(), '\\', '/');
    consider(asWritten);

    std::error_code ignored;
    const fs::path sceneFolder = fs::absolute(scenePath, ignored).parent_path();
    std::vector<fs::path> folders;
    if (!contentFolder.empty()) {
        folders.push_back(contentFolder);
    } else {
        for (fs::path folder = sceneFolder;; folder = folder.parent_path()) {
            folders.push_back(folder);
            if (folder == folder.parent_path()) {
                break;
            }
        }
    }
    const std::vector<std::string> names = pathNames(written);
    if (!names.empty()) {
        // Steps 2 to 4: all of the path, the name in Objects/, then fewer
        // leading folders.
        for (const fs::path &folder : folders) {
            consider(joined(folder, names, 0));
        }
        for (const fs::path &folder : folders) {
            consider(folder / kObjectsFolder / names.back());
        }
        for (std::size_t dropped = 1; dropped < names.size(); ++dropped) {
            for (const fs::path &folder : folders) {
                consider(joined(folder, names, dropped));
            }
        }
        consider(sceneFolder / names.back());
    }
    for (const fs::path &candidate : candidates) {
        if (isFile(candidate)) {
            search.found = candidate.string();
            return search;
        }
    }
    // Step 6: the same places, names matched without regard to case below
    // each folder (the folders themselves are the user's, as given).
    if (!names.empty()) {
        std::vector<std::vector<std::string>> tails{names};
        tails.push_back({kObjectsFolder, names.back()});
        for (std::size_t dropped = 1; dropped < names.size(); ++dropped) {
            tails.emplace_back(names.begin() + static_cast<long>(dropped), names.end());
        }
        for (const std::vector<std::string> &tail : tails) {
            for (const fs::path &folder : folders) {
                if (const std::optional<fs::path> match = matchIgnoringCase(folder, tail)) {
                    search.found = match->string();
                    return search;
                }
            }
        }
        if (const std::optional<fs::path> match = matchIgnoringCase(sceneFolder, {names.back()})) {
            search.found = match->string();
        }
    }
    return search;
}

} // namespace brelvix::lightwave
