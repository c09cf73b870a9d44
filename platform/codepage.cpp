#include "platform/codepage.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <map>
#include <utility>
#include <vector>

namespace {

std::atomic<UINT> g_ansiCodePage{CP_UTF8};

const char* iconvName(UINT cp)
{
    if (cp == CP_ACP) cp = g_ansiCodePage.load();
    switch (cp) {
    case CP_UTF8: return "UTF-8";
    case CP_GBK: return "GBK";
    case CP_GB18030: return "GB18030";
    case CP_BIG5: return "BIG5";
    case 932: return "SHIFT_JIS";
    case 1252: return "CP1252";
    case 20127: return "ASCII";
    default: return nullptr;
    }
}

// iconv descriptors are costly to open; each thread keeps its own, since a
// descriptor carries conversion state and must not be shared.
class IconvCache {
public:
    ~IconvCache()
    {
        for (auto& e : map_) iconv_close(e.second);
    }
    iconv_t get(const char* to, const char* from)
    {
        auto key = std::make_pair(std::string(to), std::string(from));
        auto it = map_.find(key);
        if (it != map_.end()) {
            iconv(it->second, nullptr, nullptr, nullptr, nullptr);  // reset state
            return it->second;
        }
        iconv_t cd = iconv_open(to, from);
        if (cd == reinterpret_cast<iconv_t>(-1)) return cd;
        map_.emplace(key, cd);
        return cd;
    }

private:
    std::map<std::pair<std::string, std::string>, iconv_t> map_;
};

thread_local IconvCache t_iconv;

// Converts `in` with `cd`, replacing what does not convert. `unit` is the size
// of one input character to skip on an undecodable sequence (1 for bytes,
// sizeof(wchar_t) for wide text). Returns false when anything was replaced.
bool convert(iconv_t cd, const char* in, size_t inLength, size_t unit, const std::string& replacement,
             std::string& out)
{
    bool clean = true;
    out.clear();
    char buffer[1024];
    char* src = const_cast<char*>(in);
    size_t left = inLength;
    while (left > 0) {
        char* dst = buffer;
        size_t room = sizeof buffer;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL (a sequence cut off at the end): replace one unit.
        clean = false;
        out += replacement;
        size_t skip = unit < left ? unit : left;
        src += skip;
        left -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state.
    char* dst = buffer;
    size_t room = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(buffer, static_cast<size_t>(dst - buffer));
    return clean;
}

bool toWide(UINT cp, const char* src, size_t length, std::wstring& out)
{
    out.clear();
    const char* name = iconvName(cp);
    if (!name) return false;
    iconv_t cd = t_iconv.get("WCHAR_T", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    const wchar_t repl = 0xFFFD;
    std::string bytes;
    bool clean = convert(cd, src, length, 1, std::string(reinterpret_cast<const char*>(&repl), sizeof repl), bytes);
    out.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    return clean;
}

bool fromWide(UINT cp, const wchar_t* src, size_t length, const std::string& defaultChar, std::string& out)
{
    out.clear();
    const char* name = iconvName(cp);
    if (!name) return false;
    iconv_t cd = t_iconv.get(name, "WCHAR_T");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    return convert(cd, reinterpret_cast<const char*>(src), length * sizeof(wchar_t), sizeof(wchar_t), defaultChar,
                   out);
}

}  // namespace

bool SetAnsiCodePage(UINT codePage)
{
    if (codePage == CP_ACP || !iconvName(codePage)) return false;
    g_ansiCodePage.store(codePage);
    return true;
}

UINT GetACP()
{
    return g_ansiCodePage.load();
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcLength, LPWSTR dst, int dstLength)
{
    if (!src || srcLength == 0 || srcLength < -1 || dstLength < 0) return 0;
    size_t length = srcLength == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLength);
    std::wstring wide;
    bool clean = toWide(codePage, src, length, wide);
    if (!iconvName(codePage)) return 0;
    if (!clean && (flags & MB_ERR_INVALID_CHARS)) return 0;
    if (dstLength == 0) return static_cast<int>(wide.size());
    if (static_cast<size_t>(dstLength) < wide.size() || !dst) return 0;
    std::memcpy(dst, wide.data(), wide.size() * sizeof(wchar_t));
    return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR src, int srcLength, LPSTR dst, int dstLength,
                        LPCSTR defaultChar, BOOL* usedDefaultChar)
{
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    if (!src || srcLength == 0 || srcLength < -1 || dstLength < 0) return 0;
    if (!iconvName(codePage)) return 0;
    size_t length = srcLength == -1 ? std::wcslen(src) + 1 : static_cast<size_t>(srcLength);
    std::string bytes;
    bool clean = fromWide(codePage, src, length, defaultChar ? defaultChar : "?", bytes);
    if (!clean && usedDefaultChar) *usedDefaultChar = TRUE;
    if (dstLength == 0) return static_cast<int>(bytes.size());
    if (static_cast<size_t>(dstLength) < bytes.size() || !dst) return 0;
    std::memcpy(dst, bytes.data(), bytes.size());
    return static_cast<int>(bytes.size());
}

std::wstring MultiByteToWide(UINT codePage, const std::string& text)
{
    std::wstring wide;
    toWide(codePage, text.data(), text.size(), wide);
    return wide;
}

std::string WideToMultiByte(UINT codePage, const std::wstring& text)
{
    std::string bytes;
    fromWide(codePage, text.data(), text.size(), "?", bytes);
    return bytes;
}

std::string ConvertCodePage(UINT from, UINT to, const std::string& text)
{
    return WideToMultiByte(to, MultiByteToWide(from, text));
}

CString AnsiToUtf8(CString text)
{
    return CString(ConvertCodePage(CP_ACP, CP_UTF8, text.str()));
}

CString Utf8ToAnsi(CString text)
{
    return CString(ConvertCodePage(CP_UTF8, CP_ACP, text.str()));
}
