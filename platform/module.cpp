#include "platform/module.h"

#include "platform/config.h"
#include "platform/resources.h"
#include "platform/window_internal.h"

#include <dlfcn.h>
#include <link.h>

#include <map>
#include <set>
#include <string>
#include <typeinfo>

namespace {

struct LoadedModule {
    void* library = nullptr;  // the dlopen handle
    int references = 0;
};

// Modules loaded through LoadLibrary, by handle (UI thread).
std::map<HMODULE, LoadedModule>& loadedModules()
{
    static auto* modules = new std::map<HMODULE, LoadedModule>;
    return *modules;
}

// Modules whose windows could not all be closed: never unmapped.
std::set<HMODULE>& keptModules()
{
    static auto* modules = new std::set<HMODULE>;
    return *modules;
}

bool endsWithDll(const std::string& name)
{
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".dll";
}

// "Name.dll" -> "<program folder>libName.so"; a name with a folder keeps it.
std::string libraryPath(const std::string& fileName)
{
    std::string folder;
    std::string name = fileName;
    const std::string::size_type slash = fileName.rfind('/');
    if (slash == std::string::npos) {
        folder = GetProgramFolder().GetString();
    } else {
        folder = fileName.substr(0, slash + 1);
        name = fileName.substr(slash + 1);
    }
    if (endsWithDll(name)) name = "lib" + name.substr(0, name.size() - 4) + ".so";
    return folder + name;
}

// The module handle of a dlopen handle: the load address of the module that
// holds its dynamic section (what ModuleFromAddress gives for its code).
HMODULE handleOf(void* library)
{
    link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
    return ModuleFromAddress(map->l_ld);
}

bool belongsTo(CWnd* wnd, HMODULE module)
{
    if (!wnd) return false;
    if (ModuleFromAddress(wnd) == module) return true;
    return ModuleFromAddress(&typeid(*wnd)) == module;
}

// Destroys the module's windows; true when none is left.
bool closeModuleWindows(HMODULE module)
{
    std::set<HWND> tried;
    for (;;) {
        HWND next = nullptr;
        for (HWND hwnd : GetModuleWindows(module))
            if (!tried.count(hwnd)) {
                next = hwnd;
                break;
            }
        if (!next) break;
        tried.insert(next);
        if (CWnd* wnd = CWnd::FromHandle(next)) wnd->DestroyWindow();
    }
    return GetModuleWindows(module).empty();
}

}  // namespace

HMODULE LoadLibrary(LPCSTR fileName)
{
    if (!fileName || !*fileName) return nullptr;
    const std::string path = libraryPath(fileName);
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    HMODULE module = handleOf(library);
    if (!module) {
        dlclose(library);
        return nullptr;
    }
    LoadedModule& entry = loadedModules()[module];
    if (entry.library) {
        // Loaded already: dlopen counted the reference; one close per free.
        dlclose(library);
    }
    entry.library = library;
    ++entry.references;
    return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (!name) return nullptr;
    auto it = loadedModules().find(module);
    if (it == loadedModules().end()) return nullptr;
    return reinterpret_cast<FARPROC>(dlsym(it->second.library, name));
}

BOOL FreeLibrary(HMODULE module)
{
    auto it = loadedModules().find(module);
    if (it == loadedModules().end()) return FALSE;
    if (--it->second.references > 0) return TRUE;
    void* library = it->second.library;
    loadedModules().erase(it);
    // No window may outlive the code that runs it: close what is left, and
    // keep the module mapped when a window refuses to go.
    if (!closeModuleWindows(module)) {
        keptModules().insert(module);
        return TRUE;
    }
    dlclose(library);
    return TRUE;
}

std::vector<HWND> GetModuleWindows(HMODULE module)
{
    std::vector<HWND> out;
    if (!module) return out;
    for (const auto& entry : lumui::LiveWindows())
        if (belongsTo(entry.second, module)) out.push_back(entry.first);
    return out;
}

BOOL IsModuleLoaded(HMODULE module)
{
    return module && (loadedModules().count(module) || keptModules().count(module));
}
