// The updater's version list as the web server sends it: the input is the
// downloaded "updater.ini". What the updater takes from it must be safe to
// act on: only plain names in the program folder or its subfolders, sizes
// that are not negative, digests of 32 lower-case hex digits, checks only
// for names it will update.
#include "Updater/UpdaterApp.h"
#include "Updater/UpdaterFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string g_dir;  // the program folder, ending with '/'

[[noreturn]] void Fail(const std::string& what)
{
    fprintf(stderr, "property broken: %s\n", what.c_str());
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/lum-fuzz-updater-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    g_dir = std::string(pattern) + "/";
    // An installed file without a version, and a folder a name may point at.
    std::ofstream(g_dir + "Lum") << "not a program";
    std::filesystem::create_directories(g_dir + "theme");
    atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(g_dir, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CUpdaterApp app;  // the application object, as in the program
    const std::string list = g_dir + "updater.ini";
    {
        FILE* f = fopen(list.c_str(), "wb");
        if (!f) return 0;
        fwrite(data, 1, size, f);
        fclose(f);
    }
    app.m_strAppPath = g_dir.c_str();
    app.ReadVersionList();
    if (std::filesystem::exists(list)) Fail("the list was not removed after reading");
    if (app.m_nFilesCount != static_cast<int>(app.m_setFiles.size())) Fail("the file count differs from the files");
    for (const CString& name : app.m_setFiles) {
        if (!IsSafeFileName(name)) Fail("an unsafe name to update: " + name.str());
        // Names may lead into the program's own subfolders (skins, sounds),
        // never out of it nor onto the folder itself.
        const std::string& s = name.str();
        const std::filesystem::path relative(s);
        const std::string inside = (std::filesystem::path(g_dir) / relative).lexically_normal().string();
        if (relative.is_absolute() || s.find('\\') != std::string::npos || inside.size() <= g_dir.size() ||
            inside.compare(0, g_dir.size(), g_dir) != 0 || relative.lexically_normal() != relative)
            Fail("a name that leaves the program folder: " + s);
    }
    for (const auto& entry : app.m_mapChecks) {
        if (!app.m_setFiles.count(entry.first)) Fail("a check for a name not updated: " + entry.first.str());
        if (entry.second.size < -1) Fail("a negative size");
        const std::string& md5 = entry.second.md5.str();
        if (!md5.empty()) {
            if (md5.size() != 32) Fail("a digest that is not 32 digits: " + md5);
            for (char c : md5)
                if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) Fail("a digest with a non-digit: " + md5);
        }
    }
    return 0;
}
