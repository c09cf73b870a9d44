#include "Updater/UpdaterFiles.h"

#include "Common/MD5Crypt.h"

#include <cstdio>
#include <string>

bool IsSafeFileName(const CString& name)
{
    const std::string& s = name.str();
    if (s.empty() || s.size() > 1000) return false;
    size_t start = 0;
    for (;;) {
        const size_t slash = s.find('/', start);
        const std::string segment = s.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        // An empty segment is a leading, doubled or trailing separator.
        if (segment.empty() || segment == "." || segment == ".." || segment.size() > 255) return false;
        for (unsigned char ch : segment) {
            if (ch == '\\' || ch < 0x20 || ch == 0x7F) return false;
        }
        if (slash == std::string::npos) return true;
        start = slash + 1;
    }
}

CString EncodeUrlName(const CString& name)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char ch : name.str()) {
        if ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-' ||
            ch == '.' || ch == '_' || ch == '~' || ch == '/') {
            out += static_cast<char>(ch);
        } else {
            out += '%';
            out += kHex[ch >> 4];
            out += kHex[ch & 15];
        }
    }
    return CString(out);
}

int64_t FileSizeOf(const CString& path)
{
    FILE* f = std::fopen(path.GetString(), "rb");
    if (!f) return -1;
    int64_t size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = static_cast<int64_t>(std::ftell(f));
    std::fclose(f);
    return size;
}

CString FileMd5(const CString& path)
{
    FILE* f = std::fopen(path.GetString(), "rb");
    if (!f) return CString();
    CMD5Crypt md5;
    md5.Init();
    unsigned char buffer[64 * 1024];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) md5.Update(buffer, static_cast<unsigned int>(n));
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    unsigned char digest[16];
    md5.Final(digest);
    if (failed) return CString();
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : digest) {
        hex += kHex[b >> 4];
        hex += kHex[b & 15];
    }
    return CString(hex);
}
