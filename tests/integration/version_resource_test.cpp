// The version resource of the built Windows module, read back as a studio's
// tools and the file's properties in Windows read it: through the Windows
// version API, from the file. Its version must be the one in the module's
// server name.
#include "host/standin_host.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace brelvix::integration {
namespace {

/// The version text of the descriptor's server name ("Brelvix" + version).
std::string serverNameVersion() {
    std::string error;
    const auto module = standin::ModuleLibrary::open(BRELVIX_MODULE_PATH, error);
    if (module == nullptr || module->server("CameraHandler") == nullptr) {
        ADD_FAILURE() << "cannot read the descriptor: " << error;
        return {};
    }
    const std::string name = module->server("CameraHandler")->name;
    const std::string product = "Brelvix";
    EXPECT_EQ(name.rfind(product, 0), 0u) << name;
    return name.substr(product.size());
}

TEST(VersionResource, CarriesTheServerNamesVersionAndDescribesTheFile) {
    const std::string version = serverNameVersion();
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(version.c_str(), "%u.%u.%u", &major, &minor, &patch), 3) << version;

    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(BRELVIX_MODULE_PATH, &handle);
    ASSERT_GT(size, 0u) << "no version resource in " << BRELVIX_MODULE_PATH << ", error "
                        << GetLastError();
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(BRELVIX_MODULE_PATH, 0, size, block.data()));

    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    const DWORD versionHigh = (major << 16) | minor;
    const DWORD versionLow = patch << 16;
    EXPECT_EQ(fixed->dwFileVersionMS, versionHigh);
    EXPECT_EQ(fixed->dwFileVersionLS, versionLow);
    EXPECT_EQ(fixed->dwProductVersionMS, versionHigh);
    EXPECT_EQ(fixed->dwProductVersionLS, versionLow);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    // The texts of the file's first (and only) language, as Windows looks
    // them up.
    struct Translation {
        WORD language, codePage;
    } *translations = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void **>(&translations), &length));
    ASSERT_GE(length, sizeof(Translation));
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04x%04x\\", translations->language,
                  translations->codePage);
    const auto text = [&](const char *name) -> std::string {
        char *value = nullptr;
        UINT chars = 0;
        if (!VerQueryValueA(block.data(), (prefix + std::string(name)).c_str(),
                            reinterpret_cast<void **>(&value), &chars)) {
            return "(missing)";
        }
        return value;
    };
    EXPECT_EQ(text("FileVersion"), version);
    EXPECT_EQ(text("ProductVersion"), version);
    EXPECT_EQ(text("ProductName"), "Brelvix");
    EXPECT_EQ(text("OriginalFilename"), "brelvix.p");
    for (const char *name : {"FileDescription", "LegalCopyright"}) {
        const std::string value = text(name);
        EXPECT_TRUE(value.size() > 10 && value != "(missing)") << name << ": " << value;
    }
}

} // namespace
} // namespace brelvix::integration
