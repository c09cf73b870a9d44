#include "platform/resources.h"
#include "platform/version.h"

#include "base/BaseModule.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// The bytes of resource `name` of `type` in `module`; "<none>" when missing.
std::string resourceText(HMODULE module, LPCSTR name, LPCSTR type)
{
    HRSRC found = FindResource(module, name, type);
    if (!found) return "<none>";
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    DWORD size = SizeofResource(module, found);
    return data ? std::string(data, size) : "<no data>";
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The product version as the client reads it: size, block, translation,
// then the version text of that translation; "" at the first failure.
std::string productVersion(const std::string& path)
{
    DWORD handle = 1;
    DWORD size = GetFileVersionInfoSize(path.c_str(), &handle);
    EXPECT_EQ(handle, 0u);
    if (size == 0) return "";
    std::vector<char> block(size + 1, 0);
    if (!GetFileVersionInfo(path.c_str(), handle, size, block.data())) return "";
    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValue(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<LPVOID*>(&translation), &length) ||
        length < sizeof(Translation))
        return "";
    char query[64];
    std::snprintf(query, sizeof(query), "\\StringFileInfo\\%04x%04x\\ProductVersion", translation->language,
                  translation->codePage);
    LPVOID text = nullptr;
    if (!VerQueryValue(block.data(), query, &text, &length)) return "";
    return static_cast<const char*>(text);
}

}  // namespace

TEST(Resources, LookupByTypeAndName)
{
    HMODULE self = AfxGetInstanceHandle();
    ASSERT_NE(self, nullptr);
    // Text types compare without regard to case; "#7" is the number 7.
    EXPECT_EQ(resourceText(self, MAKEINTRESOURCE(7), "gif"), "seven as gif\n");
    EXPECT_EQ(resourceText(self, MAKEINTRESOURCE(7), "GIF"), "seven as gif\n");
    EXPECT_EQ(resourceText(self, "#7", "Png"), "seven as PNG\n");
    // A numeric type and a text type of the same name are different types.
    EXPECT_EQ(resourceText(self, MAKEINTRESOURCE(7), RT_BITMAP), "numeric bitmap");
    EXPECT_EQ(resourceText(self, MAKEINTRESOURCE(7), "bitmap"), "text bitmap");
    // Text names, standard type names of the manifest.
    EXPECT_EQ(resourceText(self, "WELCOME", RT_HTML), "<html><body>welcome</body></html>\n");
    EXPECT_EQ(resourceText(self, "welcome", "HTML"), "<none>");
    EXPECT_EQ(resourceText(self, MAKEINTRESOURCE(23), "HTML"), "<none>");
    // An empty file is a resource of size 0.
    HRSRC empty = FindResource(self, MAKEINTRESOURCE(9), "rcdata");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SizeofResource(self, empty), 0u);
}

TEST(Resources, MissingResources)
{
    HMODULE self = AfxGetInstanceHandle();
    EXPECT_EQ(FindResource(self, MAKEINTRESOURCE(8), "gif"), nullptr);
    EXPECT_EQ(FindResource(self, MAKEINTRESOURCE(7), "jpg"), nullptr);
    EXPECT_EQ(FindResource(self, "#x7", "gif"), nullptr);
    EXPECT_EQ(FindResource(self, nullptr, "gif"), nullptr);
    EXPECT_EQ(FindResource(reinterpret_cast<HMODULE>(0x1000), MAKEINTRESOURCE(7), "gif"), nullptr);
    EXPECT_EQ(SizeofResource(self, nullptr), 0u);
    EXPECT_EQ(LoadResource(self, nullptr), nullptr);
    EXPECT_EQ(LockResource(nullptr), nullptr);
}

TEST(Resources, ModulesKeepTheirOwnResources)
{
    HMODULE self = AfxGetInstanceHandle();
    HMODULE base = GetBaseModuleHandle();
    ASSERT_NE(base, nullptr);
    EXPECT_NE(base, self);
    EXPECT_EQ(ModuleFromAddress(reinterpret_cast<const void*>(&GetBaseModuleHandle)), base);
    EXPECT_EQ(ModuleFromAddress(reinterpret_cast<const void*>(&FindResource)),
              ModuleFromAddress(reinterpret_cast<const void*>(&LoadString)));
    EXPECT_EQ(ModuleFromAddress(nullptr), nullptr);

    EXPECT_NE(FindResource(base, MAKEINTRESOURCE(13000), "PNG"), nullptr);
    EXPECT_NE(FindResource(base, MAKEINTRESOURCE(13008), RT_BITMAP), nullptr);
    EXPECT_EQ(FindResource(self, MAKEINTRESOURCE(13000), "PNG"), nullptr);
    EXPECT_EQ(FindResource(base, MAKEINTRESOURCE(7), "gif"), nullptr);
}

TEST(Resources, ResourceHandleScope)
{
    HMODULE self = AfxGetInstanceHandle();
    HMODULE base = GetBaseModuleHandle();
    // By default the program's own resources are current.
    EXPECT_EQ(AfxGetResourceHandle(), self);
    EXPECT_EQ(resourceText(nullptr, MAKEINTRESOURCE(7), "gif"), "seven as gif\n");
    {
        AFX_MANAGE_STATE(base);
        EXPECT_EQ(AfxGetResourceHandle(), base);
        EXPECT_NE(FindResource(nullptr, MAKEINTRESOURCE(13000), "PNG"), nullptr);
        {
            CResourceScope inner(self);
            EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCE(13000), "PNG"), nullptr);
        }
        EXPECT_EQ(AfxGetResourceHandle(), base);
    }
    EXPECT_EQ(AfxGetResourceHandle(), self);
    EXPECT_EQ(FindResource(nullptr, MAKEINTRESOURCE(13000), "PNG"), nullptr);
}

TEST(Resources, LoadString)
{
    HINSTANCE self = AfxGetInstanceHandle();
    char buffer[256];
    EXPECT_EQ(LoadString(self, 103, buffer, sizeof(buffer)), static_cast<int>(std::strlen("Windows 套接字初始化失败。")));
    EXPECT_STREQ(buffer, "Windows 套接字初始化失败。");
    EXPECT_EQ(LoadString(self, 104, buffer, sizeof(buffer)), 10);
    EXPECT_STREQ(buffer, "  spaced  ");
    // A short buffer cuts before a character that would not fit whole.
    char small[10];
    EXPECT_EQ(LoadString(self, 103, small, sizeof(small)), 8);
    EXPECT_STREQ(small, "Windows ");
    std::strcpy(buffer, "stale");
    EXPECT_EQ(LoadString(self, 105, buffer, sizeof(buffer)), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadString(self, 103 + 0x10000, buffer, sizeof(buffer)), 0);
}

TEST(Versions, ReadFromBuiltModule)
{
    EXPECT_EQ(productVersion(LUM_BASE_MODULE_FILE), LUM_PRODUCT_VERSION);

    // Windows names of programs and libraries reach their Linux files.
    TempDir dir;
    std::string module = readFile(LUM_BASE_MODULE_FILE);
    ASSERT_FALSE(module.empty());
    writeFile(dir.file("Updater"), module);
    writeFile(dir.file("libVistel.so"), module);
    EXPECT_EQ(productVersion(dir.file("Updater.exe")), LUM_PRODUCT_VERSION);
    EXPECT_EQ(productVersion(dir.file("Vistel.dll")), LUM_PRODUCT_VERSION);
    EXPECT_EQ(productVersion(dir.file("Other.exe")), "");

    // Queries the block does not answer, and a buffer too small.
    DWORD size = GetFileVersionInfoSize(LUM_BASE_MODULE_FILE, nullptr);
    ASSERT_GT(size, 8u);
    std::vector<char> block(size);
    EXPECT_FALSE(GetFileVersionInfo(LUM_BASE_MODULE_FILE, 0, size - 1, block.data()));
    ASSERT_TRUE(GetFileVersionInfo(LUM_BASE_MODULE_FILE, 0, size, block.data()));
    LPVOID value = nullptr;
    UINT length = 0;
    EXPECT_FALSE(VerQueryValue(block.data(), "\\StringFileInfo\\040904b0\\ProductVersion", &value, &length));
    EXPECT_FALSE(VerQueryValue(block.data(), "\\StringFileInfo\\080404b0\\FileVersion", &value, &length));
    EXPECT_TRUE(VerQueryValue(block.data(), "\\StringFileInfo\\080404B0\\ProductVersion", &value, &length));
    EXPECT_EQ(length, std::strlen(LUM_PRODUCT_VERSION) + 1);
}

TEST(Versions, FilesWithoutVersion)
{
    TempDir dir;
    EXPECT_EQ(productVersion(dir.file("missing")), "");
    EXPECT_EQ(productVersion(dir.path()), "");
    writeFile(dir.file("empty"), "");
    EXPECT_EQ(productVersion(dir.file("empty")), "");
    writeFile(dir.file("text"), std::string("\177ELF") + std::string(200, 'x'));
    EXPECT_EQ(productVersion(dir.file("text")), "");
    // An ELF file without the version section: this test program.
    EXPECT_EQ(productVersion("/proc/self/exe"), "");

    std::string module = readFile(LUM_BASE_MODULE_FILE);
    ASSERT_GT(module.size(), 4096u);
    // Cut anywhere before its section table ends, the file has no version.
    for (size_t cut : {size_t(5), size_t(16), size_t(63), size_t(64), module.size() / 2, module.size() - 1}) {
        writeFile(dir.file("cut"), module.substr(0, cut));
        EXPECT_EQ(productVersion(dir.file("cut")), "") << cut;
    }
    // Offsets and counts that point outside the file, and a garbled section table.
    auto patched = [&](size_t at, const std::string& bytes) {
        std::string copy = module;
        copy.replace(at, bytes.size(), bytes);
        writeFile(dir.file("patched"), copy);
        return productVersion(dir.file("patched"));
    };
    EXPECT_EQ(patched(40, std::string("\xff\xff\xff\xff\xff\xff\xff\x7f", 8)), "");  // section table offset
    EXPECT_EQ(patched(58, std::string("\x08\x00", 2)), "");                          // entry size too small
    EXPECT_EQ(patched(62, std::string("\xfe\xff", 2)), "");                          // name table index
    uint64_t table = 0;
    std::memcpy(&table, module.data() + 40, 8);
    ASSERT_LT(table, module.size());
    EXPECT_EQ(patched(static_cast<size_t>(table), std::string(module.size() - table, '\xff')), "");
}
