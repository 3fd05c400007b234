// Checks on the built module file itself, read as the host and the linker see it.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> commandLines(const std::string &command) {
    std::vector<std::string> lines;
    std::unique_ptr<FILE, int (*)(FILE *)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return lines;
    }
    std::array<char, 512> buffer{};
    std::string line;
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe.get()) != nullptr) {
        line += buffer.data();
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            lines.push_back(line);
            line.clear();
        }
    }
    return lines;
}

TEST(ModuleFile, ExportsOnlyTheDescriptor) {
    const std::string path = BRELVIX_MODULE_PATH;
    ASSERT_EQ(path.substr(path.size() - 11), "/brelvix.so");
    // Every defined dynamic symbol of the file, with its type.
    const std::vector<std::string> lines = commandLines("nm -D --defined-only '" + path + "' 2>&1");
    std::vector<std::string> symbols;
    for (const std::string &line : lines) {
        std::istringstream fields(line);
        std::string address, type, name;
        fields >> address >> type >> name;
        symbols.push_back(name.empty() ? line : type + " " + name);
    }
    EXPECT_EQ(symbols, (std::vector<std::string>{"D _mod_descrip"}))
        << "nm -D --defined-only " << path;
}

} // namespace
