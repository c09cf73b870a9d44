// Loading the engine library of the pages (libplatform_web.so, beside the
// layer's own library) and the some hundred and eighty libraries it needs,
// WebKit among them.
//
// The loader keeps one lock while it loads a library: from mapping it and
// those it needs through relocating them to running their initialisers. Any
// other thread that asks the loader anything meanwhile (dlsym, dladdr,
// dlopen: GTK looks up a widget type by name the first time one is made from
// a template, the input method and picture loaders are libraries) waits for
// the whole load. So a load on a worker does not keep the UI thread out of
// the loader for the hundreds of milliseconds the engine takes: the worker
// loads the libraries one at a time, each after those it needs (read from
// their files), so that the UI thread waits at most for the one library
// being loaded, and then loads the engine library, which finds them loaded.
//
// Every load goes through GModule: GModule keeps a lock of its own around
// the loader's calls it makes (g_module_symbol, g_module_open), and some of
// the engine's libraries use GModule from their initialisers, which run
// inside the loader's lock. A plain dlopen on the worker would take the two
// locks the other way round from GTK on the UI thread (the loader's, then
// GModule's, against GModule's, then the loader's) and the two threads
// could wait for each other for ever; through GModule every thread takes
// GModule's first.
#include "platform/dhtml_internal.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <gmodule.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

std::atomic<lumweb::Engine*> g_engine{nullptr};
std::atomic<bool> g_failed{false};

const char kEngineLibrary[] = "libplatform_web.so";

// Beside the layer's own library.
std::string engineLibraryPath()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&engineLibraryPath), &info) && info.dli_fname) {
        const std::string self = info.dli_fname;
        const size_t slash = self.rfind('/');
        if (slash != std::string::npos) return self.substr(0, slash + 1) + kEngineLibrary;
    }
    return kEngineLibrary;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The names of the libraries the shared object file at `path` needs (its
// DT_NEEDED entries); none when the file cannot be read as one.
std::vector<std::string> neededBy(const std::string& path)
{
    std::vector<std::string> names;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return names;
    struct stat st;
    void* map = fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(sizeof(ElfW(Ehdr)))
                    ? mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0)
                    : MAP_FAILED;
    close(fd);
    if (map == MAP_FAILED) return names;
    const auto* bytes = static_cast<const unsigned char*>(map);
    const size_t size = static_cast<size_t>(st.st_size);
    auto inside = [size](size_t offset, size_t length) { return offset <= size && length <= size - offset; };
    const auto* header = reinterpret_cast<const ElfW(Ehdr)*>(bytes);
    const unsigned char elfClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (std::memcmp(header->e_ident, ELFMAG, SELFMAG) == 0 && header->e_ident[EI_CLASS] == elfClass &&
        header->e_phentsize == sizeof(ElfW(Phdr)) && inside(header->e_phoff, header->e_phnum * sizeof(ElfW(Phdr)))) {
        const auto* segments = reinterpret_cast<const ElfW(Phdr)*>(bytes + header->e_phoff);
        // Where in the file the byte at `address` of the loaded object lies.
        auto fileOffset = [&](ElfW(Addr) address, size_t* offset) {
            for (int i = 0; i < header->e_phnum; ++i) {
                const ElfW(Phdr)& s = segments[i];
                if (s.p_type == PT_LOAD && address >= s.p_vaddr && address - s.p_vaddr < s.p_filesz) {
                    *offset = s.p_offset + (address - s.p_vaddr);
                    return true;
                }
            }
            return false;
        };
        for (int i = 0; i < header->e_phnum; ++i) {
            const ElfW(Phdr)& s = segments[i];
            if (s.p_type != PT_DYNAMIC || !inside(s.p_offset, s.p_filesz)) continue;
            const auto* dynamic = reinterpret_cast<const ElfW(Dyn)*>(bytes + s.p_offset);
            const size_t count = s.p_filesz / sizeof(ElfW(Dyn));
            ElfW(Addr) strings = 0;
            size_t stringsSize = 0;
            std::vector<size_t> needed;
            for (size_t k = 0; k < count && dynamic[k].d_tag != DT_NULL; ++k) {
                if (dynamic[k].d_tag == DT_NEEDED) needed.push_back(dynamic[k].d_un.d_val);
                else if (dynamic[k].d_tag == DT_STRTAB) strings = dynamic[k].d_un.d_ptr;
                else if (dynamic[k].d_tag == DT_STRSZ) stringsSize = dynamic[k].d_un.d_val;
            }
            size_t offset = 0;
            if (!fileOffset(strings, &offset) || !inside(offset, stringsSize)) break;
            const char* table = reinterpret_cast<const char*>(bytes + offset);
            for (size_t n : needed) {
                if (n >= stringsSize) continue;
                const size_t length = strnlen(table + n, stringsSize - n);
                if (length > 0 && length < stringsSize - n) names.emplace_back(table + n, length);
            }
            break;
        }
    }
    munmap(map, size);
    return names;
}

// The libraries to load one at a time before the engine library: those it
// needs that are not loaded yet, as files, each after those it needs.
class LoadOrder {
public:
    explicit LoadOrder(const std::string& library)
    {
        dl_iterate_phdr(
            [](dl_phdr_info* info, size_t, void* data) -> int {
                auto* self = static_cast<LoadOrder*>(data);
                const std::string path = info->dlpi_name ? info->dlpi_name : "";
                if (path.find('/') == std::string::npos) return 0;
                self->loaded_.insert(nameOf(path));
                const std::string folder = folderOf(path);
                bool known = false;
                for (const std::string& f : self->folders_) known = known || f == folder;
                if (!known) self->folders_.push_back(folder);
                return 0;
            },
            this);
        for (const std::string& name : neededBy(library)) add(name, folderOf(library));
    }
    const std::vector<std::string>& files() const { return files_; }

private:
    // Where the loader will find library `name`: beside the library that
    // needs it, or in a folder the loaded libraries came from (the system's
    // library folders and those of the program). Only the order depends on
    // it: a library not found here is loaded with the one that needs it.
    std::string find(const std::string& name, const std::string& besides) const
    {
        if (name.find('/') != std::string::npos) return name;
        if (access((besides + "/" + name).c_str(), R_OK) == 0) return besides + "/" + name;
        for (const std::string& folder : folders_)
            if (access((folder + "/" + name).c_str(), R_OK) == 0) return folder + "/" + name;
        return std::string();
    }

    void add(const std::string& name, const std::string& besides)
    {
        if (loaded_.count(nameOf(name)) || !seen_.insert(name).second) return;
        const std::string path = find(name, besides);
        if (path.empty()) return;
        for (const std::string& needed : neededBy(path)) add(needed, folderOf(path));
        files_.push_back(path);
    }

    std::set<std::string> loaded_;
    std::vector<std::string> folders_;
    std::set<std::string> seen_;
    std::vector<std::string> files_;
};

}  // namespace

lumweb::Engine* lumweb::LoadedEngine()
{
    return g_engine.load();
}

lumweb::Engine* lumweb::LoadEngine(bool inSteps)
{
    if (Engine* engine = g_engine.load()) return engine;
    if (g_failed) return nullptr;
    const std::string path = engineLibraryPath();
    if (inSteps) {
        // Local to each library while it is loaded alone; the engine
        // library's load below makes them global in its own order, as if it
        // had loaded them itself. Every symbol is bound now (RTLD_NOW), not
        // on the UI thread when first called; a library that cannot be
        // loaded alone is loaded with the engine library.
        const LoadOrder order(path);
        for (const std::string& file : order.files()) {
            if (g_engine.load()) break;  // a page on the UI thread has loaded the rest
            g_module_open(file.c_str(), G_MODULE_BIND_LOCAL);
            // A thread that waited for the loader meanwhile gets it before
            // the next library: without a moment for it to wake, this thread
            // would take the locks again first, library after library.
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
    }
    // Global: the engine library looks WebKit's entry points up by name in
    // the whole process (the build has only the toolkit's headers for them).
    GModule* library = g_module_open(path.c_str(), static_cast<GModuleFlags>(0));
    gpointer entry = nullptr;
    Engine* engine = nullptr;
    if (library && g_module_symbol(library, "lum_web_engine", &entry) && entry)
        engine = reinterpret_cast<Engine* (*)()>(entry)();
    if (!engine) {
        if (!g_failed.exchange(true))
            std::fprintf(stderr, "the web page engine could not be loaded: %s\n", g_module_error());
        return nullptr;
    }
    g_engine = engine;
    return engine;
}
