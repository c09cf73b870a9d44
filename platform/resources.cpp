#include "platform/resources.h"

#include <link.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

// A resource handle (HRSRC) points at one of these records. Records live as
// long as their module is loaded; a handle is checked against the registry
// before it is used, so a handle of an unloaded module finds nothing.
struct HRSRC__ {
    const void* data = nullptr;
    DWORD size = 0;
};

namespace {

// A resource type or name: a number, or a text kept in upper case so that
// texts compare without regard to case.
struct ResourceId {
    bool numeric = true;
    WORD number = 0;
    std::string text;

    bool operator<(const ResourceId& o) const
    {
        return std::tie(numeric, number, text) < std::tie(o.numeric, o.number, o.text);
    }
};

// "#130" names the number 130, as resource compilers write numbers as text.
ResourceId makeId(LPCSTR value)
{
    ResourceId id;
    if (IS_INTRESOURCE(value)) {
        id.number = static_cast<WORD>(reinterpret_cast<uintptr_t>(value));
        return id;
    }
    if (value[0] == '#' && value[1] != '\0') {
        char* end = nullptr;
        unsigned long n = std::strtoul(value + 1, &end, 10);
        if (*end == '\0' && std::isdigit(static_cast<unsigned char>(value[1])) && n <= 0xFFFF) {
            id.number = static_cast<WORD>(n);
            return id;
        }
    }
    id.numeric = false;
    for (const char* p = value; *p; ++p) id.text += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return id;
}

struct Key {
    HMODULE module;
    ResourceId type;
    ResourceId name;

    bool operator<(const Key& o) const { return std::tie(module, type, name) < std::tie(o.module, o.type, o.name); }
};

struct Registry {
    std::mutex mutex;
    std::map<Key, std::unique_ptr<HRSRC__>> entries;

    // True when `handle` is a record that is still registered. Called with
    // the mutex held.
    bool holds(HRSRC handle) const
    {
        for (const auto& e : entries)
            if (e.second.get() == handle) return true;
        return false;
    }
};

// Never destroyed: modules unregister from their own static destructors,
// which may run after this library's.
Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}

// The main program's module: the module that holds the program's entry point.
HMODULE mainModule()
{
    static HMODULE main = [] {
        HMODULE m = ModuleFromAddress(reinterpret_cast<const void*>(getauxval(AT_ENTRY)));
        if (!m) m = ModuleFromAddress(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
        return m;
    }();
    return main;
}

// Null: the current resource handle has not been set, which means the main
// program's module.
std::atomic<HINSTANCE> currentResourceHandle{nullptr};

HMODULE orCurrent(HMODULE module)
{
    return module ? module : AfxGetResourceHandle();
}

}  // namespace

// The module's handle is the address its first segment is mapped at (what
// dladdr calls the object's base). The modules are looked up through
// dl_iterate_phdr, not dladdr: dladdr waits for the loader's lock, which a
// library being loaded holds until it is loaded, relocated and initialised
// (the web engine's libraries load on a worker for hundreds of milliseconds,
// platform/dhtml_loader.cpp), while dl_iterate_phdr waits only while the
// loader adds a library to its list.
HMODULE ModuleFromAddress(const void* address)
{
    if (!address) return nullptr;
    struct Search {
        uintptr_t address;
        HMODULE module = nullptr;
    } search{reinterpret_cast<uintptr_t>(address)};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            const uintptr_t offset = s->address - info->dlpi_addr;
            bool inside = false;
            uintptr_t first = UINTPTR_MAX;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD) continue;
                if (offset - ph.p_vaddr < ph.p_memsz) inside = true;
                first = std::min<uintptr_t>(first, ph.p_vaddr & ~static_cast<uintptr_t>(getpagesize() - 1));
            }
            if (!inside) return 0;
            s->module = reinterpret_cast<HMODULE>(info->dlpi_addr + first);
            return 1;
        },
        &search);
    return search.module;
}

void RegisterEmbeddedResource(const void* anchor, LPCSTR type, LPCSTR name, const void* data, DWORD size)
{
    HMODULE module = ModuleFromAddress(anchor);
    if (!module || !type || !name || (!data && size)) return;
    auto record = std::make_unique<HRSRC__>();
    record->data = data;
    record->size = size;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.entries[Key{module, makeId(type), makeId(name)}] = std::move(record);
}

void UnregisterEmbeddedResources(const void* anchor)
{
    HMODULE module = ModuleFromAddress(anchor);
    if (!module) return;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto it = r.entries.begin(); it != r.entries.end();) {
        if (it->first.module == module)
            it = r.entries.erase(it);
        else
            ++it;
    }
}

HINSTANCE AfxGetResourceHandle()
{
    HINSTANCE current = currentResourceHandle.load();
    return current ? current : mainModule();
}

void AfxSetResourceHandle(HINSTANCE module)
{
    currentResourceHandle.store(module);
}

HRSRC FindResource(HMODULE module, LPCSTR name, LPCSTR type)
{
    if (!name || !type) return nullptr;
    module = orCurrent(module);
    if (!module) return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.entries.find(Key{module, makeId(type), makeId(name)});
    return it == r.entries.end() ? nullptr : it->second.get();
}

DWORD SizeofResource(HMODULE, HRSRC resource)
{
    if (!resource) return 0;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.holds(resource) ? resource->size : 0;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource)
{
    if (!resource) return nullptr;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.holds(resource) ? const_cast<void*>(resource->data) : nullptr;
}

LPVOID LockResource(HGLOBAL loaded)
{
    return loaded;
}

int LoadString(HINSTANCE module, UINT id, LPSTR buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    if (id > 0xFFFF) return 0;
    HRSRC found = FindResource(module, MAKEINTRESOURCE(id), RT_STRING);
    if (!found) return 0;
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
    DWORD length = SizeofResource(module, found);
    if (!text) return 0;
    // The stored text may carry a terminator of its own.
    const void* nul = std::memchr(text, '\0', length);
    if (nul) length = static_cast<DWORD>(static_cast<const char*>(nul) - text);
    DWORD n = length < static_cast<DWORD>(size - 1) ? length : static_cast<DWORD>(size - 1);
    // A cut text ends before a UTF-8 sequence that would not fit whole.
    if (n < length)
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
