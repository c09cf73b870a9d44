#include "platform/files.h"

#include "platform/services.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string realExecutable()
{
    char buf[MAX_PATH];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(n));
}

void copyOut(const std::string& s, char* out)
{
    if (!out) return;
    size_t n = s.size() < MAX_PATH - 1 ? s.size() : MAX_PATH - 1;
    std::memcpy(out, s.data(), n);
    out[n] = 0;
}

}  // namespace

DWORD GetModuleFileName(HMODULE module, LPSTR buffer, DWORD size)
{
    // Only the executable itself is asked for; modules loaded later carry
    // their own paths.
    if (module) return 0;
    // The executable's own name in the folder the services give.
    const std::string exe = realExecutable();
    const size_t slash = exe.rfind('/');
    const std::string path =
        lumui::GetServices()->ProgramFolder().str() + (slash == std::string::npos ? exe : exe.substr(slash + 1));
    if (!buffer || size == 0 || path.empty()) return 0;
    size_t n = path.size() < size - 1 ? path.size() : size - 1;
    std::memcpy(buffer, path.data(), n);
    buffer[n] = 0;
    return static_cast<DWORD>(n);
}

CString lumui::SystemServices::ProgramFolder()
{
    const std::string exe = realExecutable();
    const size_t slash = exe.rfind('/');
    return slash == std::string::npos ? CString() : CString(exe.substr(0, slash + 1));
}

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext)
{
    std::string p = path ? path : "";
    size_t slash = p.rfind('/');
    std::string d = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? p : p.substr(slash + 1);
    size_t dot = file.rfind('.');
    std::string name = dot == std::string::npos ? file : file.substr(0, dot);
    std::string e = dot == std::string::npos ? std::string() : file.substr(dot);
    copyOut(std::string(), drive);
    copyOut(d, dir);
    copyOut(name, fname);
    copyOut(e, ext);
}

BOOL CreateDirectory(LPCSTR path, void*)
{
    return path && ::mkdir(path, 0755) == 0;
}

int _mkdir(const char* path)
{
    return path && ::mkdir(path, 0755) == 0 ? 0 : -1;
}

int _stat(const char* path, struct _stat* buffer)
{
    if (!path || !buffer) return -1;
    return ::stat(path, buffer);
}

BOOL DeleteFile(LPCSTR path)
{
    return path && ::unlink(path) == 0;
}

BOOL MoveFile(LPCSTR from, LPCSTR to)
{
    if (!from || !to) return FALSE;
    // Like the function it stands in for, refuse to replace an existing file.
    if (::access(to, F_OK) == 0) return FALSE;
    return ::rename(from, to) == 0;
}

BOOL MoveFileEx(LPCSTR from, LPCSTR to, DWORD flags)
{
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return MoveFile(from, to);
    if (!from || !to) return FALSE;
    return ::rename(from, to) == 0;
}

BOOL PathFileExists(LPCSTR path)
{
    return path && ::access(path, F_OK) == 0;
}

bool ReadWholeFile(const char* path, std::string& out)
{
    out.clear();
    if (!path) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return false;
    out = ss.str();
    return true;
}
