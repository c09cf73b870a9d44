#include "platform/version.h"

#include "platform/process.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kSectionName[] = ".lum_version";
const char kMagic[4] = {'L', 'U', 'M', 'V'};
// magic, language, code page, at least the text's terminator
const size_t kHeaderSize = 8;
// A version block is a few bytes; anything larger is not ours.
const uint64_t kMaxBlock = 4096;
// Section-name tables of real modules are a few kilobytes.
const uint64_t kMaxNames = 1 << 20;
const uint64_t kMaxSections = 1 << 16;

class File {
public:
    explicit File(const char* path) : fd_(::open(path, O_RDONLY | O_CLOEXEC))
    {
        struct stat st;
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<uint64_t>(st.st_size);
    }
    ~File()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    uint64_t size() const { return size_; }
    // Reads exactly `count` bytes at `offset`; false when they are not all
    // inside the file.
    bool read(uint64_t offset, void* out, uint64_t count) const
    {
        if (fd_ < 0 || offset > size_ || count > size_ - offset) return false;
        auto* p = static_cast<char*>(out);
        while (count > 0) {
            ssize_t n = ::pread(fd_, p, count, static_cast<off_t>(offset));
            if (n <= 0) return false;
            p += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<uint64_t>(n);
        }
        return true;
    }

private:
    int fd_;
    uint64_t size_ = 0;
};

// Reads integers of the file's class and byte order out of a byte buffer.
struct Elf {
    bool wide = false;    // 64-bit
    bool bigEndian = false;

    uint64_t get(const unsigned char* p, int bytes) const
    {
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
            v |= static_cast<uint64_t>(p[i]) << shift;
        }
        return v;
    }
    // A field that is 4 bytes in 32-bit files and 8 in 64-bit ones.
    uint64_t word(const unsigned char* p) const { return get(p, wide ? 8 : 4); }
};

struct Section {
    uint32_t name = 0;
    uint32_t type = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
    uint32_t link = 0;
};

const uint32_t kNoBits = 8;  // SHT_NOBITS: the section takes no room in the file

bool readSection(const File& file, const Elf& elf, uint64_t table, uint64_t entrySize, uint64_t index,
                 Section& out)
{
    unsigned char raw[64];
    uint64_t need = elf.wide ? 64 : 40;
    if (entrySize < need) return false;
    if (index > (file.size() - table) / entrySize) return false;
    if (!file.read(table + index * entrySize, raw, need)) return false;
    out.name = static_cast<uint32_t>(elf.get(raw, 4));
    out.type = static_cast<uint32_t>(elf.get(raw + 4, 4));
    if (elf.wide) {
        out.offset = elf.get(raw + 24, 8);
        out.size = elf.get(raw + 32, 8);
        out.link = static_cast<uint32_t>(elf.get(raw + 40, 4));
    } else {
        out.offset = elf.get(raw + 16, 4);
        out.size = elf.get(raw + 20, 4);
        out.link = static_cast<uint32_t>(elf.get(raw + 24, 4));
    }
    return true;
}

// The content of the version section of the ELF file at `path`, checked to
// be a whole version block; empty when there is none.
std::vector<char> readVersionBlock(const char* path)
{
    File file(path);
    unsigned char header[64];
    if (!file.read(0, header, 16)) return {};
    if (std::memcmp(header, "\177ELF", 4) != 0) return {};
    Elf elf;
    if (header[4] != 1 && header[4] != 2) return {};
    if (header[5] != 1 && header[5] != 2) return {};
    elf.wide = header[4] == 2;
    elf.bigEndian = header[5] == 2;
    if (!file.read(0, header, elf.wide ? 64 : 52)) return {};

    uint64_t table = elf.wide ? elf.get(header + 40, 8) : elf.get(header + 32, 4);
    const unsigned char* tail = header + (elf.wide ? 58 : 46);
    uint64_t entrySize = elf.get(tail, 2);
    uint64_t count = elf.get(tail + 2, 2);
    uint64_t namesIndex = elf.get(tail + 4, 2);
    if (table == 0 || table >= file.size()) return {};

    // Section 0 carries the real count and name-table index when they do
    // not fit the header's 16-bit fields.
    Section first;
    if (!readSection(file, elf, table, entrySize, 0, first)) return {};
    if (count == 0) count = first.size;
    if (namesIndex == 0xFFFF) namesIndex = first.link;
    if (count == 0 || count > kMaxSections || namesIndex >= count) return {};

    Section names;
    if (!readSection(file, elf, table, entrySize, namesIndex, names)) return {};
    if (names.type == kNoBits || names.size == 0 || names.size > kMaxNames) return {};
    std::vector<char> nameTable(static_cast<size_t>(names.size));
    if (!file.read(names.offset, nameTable.data(), names.size)) return {};

    for (uint64_t i = 1; i < count; ++i) {
        Section s;
        if (!readSection(file, elf, table, entrySize, i, s)) return {};
        if (s.name >= nameTable.size() || nameTable.size() - s.name < sizeof(kSectionName)) continue;
        if (std::memcmp(&nameTable[s.name], kSectionName, sizeof(kSectionName)) != 0) continue;
        if (s.type == kNoBits || s.size <= kHeaderSize || s.size > kMaxBlock) return {};
        std::vector<char> block(static_cast<size_t>(s.size));
        if (!file.read(s.offset, block.data(), s.size)) return {};
        if (std::memcmp(block.data(), kMagic, sizeof(kMagic)) != 0) return {};
        // The text must end inside the block.
        if (!std::memchr(block.data() + kHeaderSize, '\0', block.size() - kHeaderSize)) return {};
        return block;
    }
    return {};
}

std::vector<char> versionBlockOf(LPCSTR path)
{
    if (!path || !*path) return {};
    return readVersionBlock(MapProgramName(path).GetString());
}

}  // namespace

DWORD GetFileVersionInfoSize(LPCSTR path, DWORD* handle)
{
    if (handle) *handle = 0;
    return static_cast<DWORD>(versionBlockOf(path).size());
}

BOOL GetFileVersionInfo(LPCSTR path, DWORD, DWORD size, LPVOID data)
{
    if (!data) return FALSE;
    std::vector<char> block = versionBlockOf(path);
    if (block.empty() || size < block.size()) return FALSE;
    std::memcpy(data, block.data(), block.size());
    return TRUE;
}

BOOL VerQueryValue(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length)
{
    if (!block || !subBlock || !buffer) return FALSE;
    const char* data = static_cast<const char*>(block);
    if (std::memcmp(data, kMagic, sizeof(kMagic)) != 0) return FALSE;
    WORD language, codePage;
    std::memcpy(&language, data + 4, 2);
    std::memcpy(&codePage, data + 6, 2);

    if (strcasecmp(subBlock, "\\VarFileInfo\\Translation") == 0) {
        *buffer = const_cast<char*>(data + 4);
        if (length) *length = 4;
        return TRUE;
    }
    char wanted[64];
    std::snprintf(wanted, sizeof(wanted), "\\StringFileInfo\\%04x%04x\\ProductVersion", language, codePage);
    if (strcasecmp(subBlock, wanted) == 0) {
        const char* text = data + kHeaderSize;
        *buffer = const_cast<char*>(text);
        if (length) *length = static_cast<UINT>(std::strlen(text) + 1);
        return TRUE;
    }
    return FALSE;
}

CString ReadFileProductVersion(LPCSTR path)
{
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSize(path, &handle);
    if (size == 0) return CString();
    std::vector<char> block(static_cast<size_t>(size) + 1, 0);
    if (!GetFileVersionInfo(path, handle, size, block.data())) return CString();

    struct LanguageAndCodePage {
        WORD language;
        WORD codePage;
    };
    LPVOID found = nullptr;
    UINT length = 0;
    if (!VerQueryValue(block.data(), "\\VarFileInfo\\Translation", &found, &length) || !found ||
        length < sizeof(LanguageAndCodePage))
        return CString();
    const LanguageAndCodePage* translation = static_cast<const LanguageAndCodePage*>(found);
    char subBlock[64];
    std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04x%04x\\ProductVersion", translation->language,
                  translation->codePage);
    LPVOID text = nullptr;
    if (!VerQueryValue(block.data(), subBlock, &text, &length) || !text) return CString();
    return CString(static_cast<const char*>(text));
}
