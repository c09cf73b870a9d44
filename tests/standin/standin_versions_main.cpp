// Prints the updater's version list of a program folder: every file in it
// that carries a product version, read the way the updater reads it. The
// local run serves this list, so the updater started by the client finds
// nothing to update.
//
//   standin_versions FOLDER > www/download/updater.ini
#include "platform/version.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

std::string productVersion(const std::string& path)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSize(path.c_str(), &handle);
    if (size == 0) return std::string();
    std::vector<char> block(size + 1, 0);
    if (!GetFileVersionInfo(path.c_str(), handle, size, block.data())) return std::string();
    LPVOID found = nullptr;
    UINT length = 0;
    if (!VerQueryValue(block.data(), "\\VarFileInfo\\Translation", &found, &length) || !found || length < 4)
        return std::string();
    const WORD* translation = static_cast<const WORD*>(found);
    char subBlock[64];
    std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\ProductVersion", translation[0],
                  translation[1]);
    LPVOID text = nullptr;
    if (!VerQueryValue(block.data(), subBlock, &text, &length) || !text) return std::string();
    return static_cast<const char*>(text);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::error_code ec;
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1], ec)) {
        if (entry.is_regular_file()) names.insert(entry.path().filename().string());
    }
    if (ec) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::printf("[Kiv_PC]\n");
    for (const std::string& name : names) {
        const std::string version = productVersion((std::filesystem::path(argv[1]) / name).string());
        if (!version.empty()) std::printf("%s=%s\n", name.c_str(), version.c_str());
    }
    return 0;
}
