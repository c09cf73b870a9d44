#include "platform/config.h"

#include "platform/files.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <strings.h>

namespace {

struct IniLine {
    std::string text;     // the line as read
    std::string section;  // section it belongs to ("" before the first)
    std::string key;      // empty unless a key=value line
    std::string value;
};

std::string trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<IniLine> readIni(const char* file)
{
    std::vector<IniLine> lines;
    std::ifstream in(file ? file : "");
    std::string line, section;
    while (std::getline(in, line)) {
        IniLine l;
        l.text = line;
        std::string t = trim(line);
        if (!t.empty() && t.front() == '[' && t.back() == ']') {
            section = trim(t.substr(1, t.size() - 2));
            l.section = section;
        } else {
            l.section = section;
            size_t eq = t.find('=');
            if (eq != std::string::npos && t[0] != ';' && t[0] != '#') {
                l.key = trim(t.substr(0, eq));
                l.value = trim(t.substr(eq + 1));
            }
        }
        lines.push_back(l);
    }
    return lines;
}

bool same(const std::string& a, const char* b)
{
    return b && strcasecmp(a.c_str(), b) == 0;
}

}  // namespace

DWORD GetPrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                              LPCSTR file)
{
    if (!buffer || size == 0) return 0;
    std::string value = defaultValue ? defaultValue : "";
    for (const IniLine& l : readIni(file)) {
        if (!l.key.empty() && same(l.section, section) && same(l.key, key)) {
            value = l.value;
            break;
        }
    }
    size_t n = value.size() < size - 1 ? value.size() : size - 1;
    std::memcpy(buffer, value.data(), n);
    buffer[n] = 0;
    return static_cast<DWORD>(n);
}

UINT GetPrivateProfileInt(LPCSTR section, LPCSTR key, int defaultValue, LPCSTR file)
{
    char buf[64];
    if (GetPrivateProfileString(section, key, "", buf, sizeof buf, file) == 0) return static_cast<UINT>(defaultValue);
    char* end = nullptr;
    long v = std::strtol(buf, &end, 10);
    return end == buf ? static_cast<UINT>(defaultValue) : static_cast<UINT>(v);
}

BOOL WritePrivateProfileString(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    if (!section || !key || !file) return FALSE;
    std::vector<IniLine> lines = readIni(file);
    std::string entry = std::string(key) + "=" + (value ? value : "");
    bool done = false;
    int lastOfSection = -1;
    for (size_t i = 0; i < lines.size() && !done; ++i) {
        if (!same(lines[i].section, section)) continue;
        lastOfSection = static_cast<int>(i);
        if (!lines[i].key.empty() && same(lines[i].key, key)) {
            lines[i].text = entry;
            done = true;
        }
    }
    std::ostringstream out;
    for (size_t i = 0; i < lines.size(); ++i) {
        out << lines[i].text << "\n";
        if (!done && static_cast<int>(i) == lastOfSection) {
            out << entry << "\n";
            done = true;
        }
    }
    if (!done) out << "[" << section << "]\n" << entry << "\n";
    std::ofstream f(file, std::ios::trunc);
    f << out.str();
    return f.good() ? TRUE : FALSE;
}

bool ReadIniSection(LPCSTR file, LPCSTR section, std::vector<std::pair<CString, CString>>& out)
{
    out.clear();
    std::ifstream probe(file ? file : "");
    if (!probe) return false;
    for (const IniLine& l : readIni(file)) {
        if (!l.key.empty() && same(l.section, section)) out.emplace_back(CString(l.key), CString(l.value));
    }
    return true;
}

CString GetProgramFolder()
{
    char path[MAX_PATH];
    if (!GetModuleFileName(nullptr, path, sizeof path)) return CString();
    char drive[MAX_PATH], dir[MAX_PATH];
    _splitpath(path, drive, dir, nullptr, nullptr);
    CString folder;
    folder.Format("%s%s", drive, dir);
    return folder;
}

namespace {

// The last reading of Lum.ini, kept while the file stays as it was (same
// path, size and change time): the settings are read on every message that
// names the web server, and a file read each time holds the UI thread.
struct EndpointCache {
    std::mutex lock;
    bool valid = false;
    std::string path;
    struct stat seen {};
    EndpointConfig config;
};

EndpointCache& endpointCache()
{
    static auto* cache = new EndpointCache;
    return *cache;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_ino == b.st_ino && a.st_dev == b.st_dev && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

EndpointConfig GetEndpointConfig()
{
    CString ini = GetProgramFolder() + "Lum.ini";
    struct stat now {};
    const bool exists = ::stat(ini.GetString(), &now) == 0;
    EndpointCache& cache = endpointCache();
    {
        std::lock_guard<std::mutex> g(cache.lock);
        if (cache.valid && exists && cache.path == ini.GetString() && sameFile(cache.seen, now)) return cache.config;
    }
    EndpointConfig c;
    char buf[1024];
    GetPrivateProfileString("Service", "Host", c.serviceHost, buf, sizeof buf, ini);
    c.serviceHost = buf;
    c.servicePort = static_cast<int>(GetPrivateProfileInt("Service", "Port", c.servicePort, ini));
    GetPrivateProfileString("Web", "BaseUrl", c.webBaseUrl, buf, sizeof buf, ini);
    c.webBaseUrl = buf;
    c.webBaseUrl.TrimRight("/");
    GetPrivateProfileString("Rendezvous", "Host", c.rendezvousHost, buf, sizeof buf, ini);
    c.rendezvousHost = buf;
    c.rendezvousPort = static_cast<int>(GetPrivateProfileInt("Rendezvous", "Port", c.rendezvousPort, ini));
    std::lock_guard<std::mutex> g(cache.lock);
    cache.valid = exists;
    cache.path = ini.GetString();
    cache.seen = now;
    cache.config = c;
    return c;
}
