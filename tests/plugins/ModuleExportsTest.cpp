// The modules as built, against their headers of exports: every name a
// header lists resolves in its module, and a module exports no function its
// header leaves out. Callers look functions up only through those headers,
// so every name any caller looks up is checked here.
#include "Lum/ConfabelExports.h"
#include "platform/files.h"
#include "platform/module.h"
#include "plugins/Adhor/AdhorExports.h"
#include "plugins/Bellwick/BellwickExports.h"
#include "plugins/Clanor/ClanorExports.h"
#include "plugins/Mievo/MievoExports.h"
#include "plugins/Parlet/ParletExports.h"
#include "plugins/Prefor/PreforExports.h"
#include "plugins/Quillon/QuillonExports.h"
#include "plugins/Sorvan/SorvanExports.h"
#include "plugins/Vistel/VistelExports.h"
#include "plugins/common/PluginExports.h"
#include "tests/Lum/TestPluginExports.h"
#include "tests/plugins/FakeVistelExports.h"
#include "tests/platform/TestServices.h"

#include <gtest/gtest.h>

#include <elf.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using Names = std::set<std::string>;

template <std::size_t... N>
Names Join(const char* const (&... lists)[N])
{
    Names names;
    (names.insert(std::begin(lists), std::end(lists)), ...);
    return names;
}

struct Module {
    std::string file;  // as the host loads it: "Name.dll" from the program folder, or a path
    Names names;       // every function it exports
};

// The modules the program ships, each with everything it exports.
const std::vector<Module>& ShippedModules()
{
    static const std::vector<Module> modules = {
        {AdhorExports::kFile, Join(PluginExports::kNames, AdhorExports::kNames)},
        {BellwickExports::kFile, Join(PluginExports::kNames, BellwickExports::kNames)},
        {ClanorExports::kFile, Join(PluginExports::kNames, ClanorExports::kNames)},
        {MievoExports::kFile, Join(PluginExports::kNames, MievoExports::kNames)},
        {ParletExports::kFile, Join(PluginExports::kNames, ParletExports::kNames)},
        {PreforExports::kFile, Join(PluginExports::kNames, PreforExports::kNames)},
        {QuillonExports::kFile, Join(PluginExports::kNames, QuillonExports::kNames)},
        {SorvanExports::kFile, Join(PluginExports::kNames, SorvanExports::kNames)},
        {VistelExports::kFile, Join(PluginExports::kNames, VistelExports::kNames)},
    };
    return modules;
}

// The names C functions have in the dynamic symbol table of the shared
// library at `path`: defined there and visible outside it.
Names ExportedCFunctions(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Names names;
    if (image.size() < sizeof(Elf64_Ehdr) || image.compare(0, SELFMAG, ELFMAG) != 0 ||
        image[EI_CLASS] != ELFCLASS64)
        return names;
    const auto* header = reinterpret_cast<const Elf64_Ehdr*>(image.data());
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(image.data() + header->e_shoff);
    for (int i = 0; i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM) continue;
        const char* strings = image.data() + sections[sections[i].sh_link].sh_offset;
        const auto* symbols = reinterpret_cast<const Elf64_Sym*>(image.data() + sections[i].sh_offset);
        for (size_t k = 0; k < sections[i].sh_size / sizeof(Elf64_Sym); ++k) {
            const Elf64_Sym& symbol = symbols[k];
            const std::string name = strings + symbol.st_name;
            if (ELF64_ST_TYPE(symbol.st_info) == STT_FUNC && symbol.st_shndx != SHN_UNDEF &&
                ELF64_ST_BIND(symbol.st_info) != STB_LOCAL && ELF64_ST_VISIBILITY(symbol.st_other) == STV_DEFAULT &&
                name.compare(0, 2, "_Z") != 0)
                names.insert(name);
        }
    }
    return names;
}

class ModuleExportsTest : public ::testing::Test {
protected:
    void SetUp() override { services_.SetProgramFolder(LUM_BIN_DIR "/"); }

    // The names of `names` that `file` does not resolve; "(not loaded)" when
    // the module cannot be loaded.
    static Names Unresolved(const std::string& file, const Names& names)
    {
        HMODULE module = LoadLibrary(file.c_str());
        if (!module) return {"(not loaded)"};
        Names missing;
        for (const std::string& name : names)
            if (!GetProcAddress(module, name.c_str())) missing.insert(name);
        FreeLibrary(module);
        return missing;
    }

    TestServices services_;
};

TEST_F(ModuleExportsTest, EveryListedNameResolvesInItsBuiltModule)
{
    for (const Module& module : ShippedModules())
        EXPECT_EQ(Unresolved(module.file, module.names), Names()) << module.file;

    // The tests' stand-ins: what the tests read of them, and the functions of
    // the modules they stand in for that the tests call.
    Names fakeVistel = Join(FakeVistelExports::kNames);
    fakeVistel.insert(VistelExports::Show.Name());
    EXPECT_EQ(Unresolved(FAKE_VISTEL_FILE, fakeVistel), Names());
    EXPECT_EQ(Unresolved(TEST_PLUGIN_FILE, Join(TestPluginExports::kNames)), Names());
}

TEST_F(ModuleExportsTest, EveryModuleExportsOnlyWhatItsHeaderLists)
{
    // A shared library beside the program that exports ExitInstance is a module.
    Names seen;
    for (const auto& entry : std::filesystem::directory_iterator(LUM_BIN_DIR)) {
        const std::string file = entry.path().filename().string();
        if (file.compare(0, 3, "lib") != 0 || entry.path().extension() != ".so") continue;
        const Names exported = ExportedCFunctions(entry.path().string());
        if (!exported.count(PluginExports::ExitInstance.Name())) continue;
        const std::string dll = file.substr(3, file.size() - 6) + ".dll";
        seen.insert(dll);
        const Module* module = nullptr;
        for (const Module& m : ShippedModules())
            if (m.file == dll) module = &m;
        ASSERT_NE(module, nullptr) << file << " is a module without a header of exports";
        EXPECT_EQ(exported, module->names) << file;
    }
    // Every module with a header was built and looked at.
    Names listed;
    for (const Module& m : ShippedModules()) listed.insert(m.file);
    EXPECT_EQ(seen, listed);
    // The discussion-group module is not part of this client.
    EXPECT_EQ(seen.count(ConfabelExports::kFile), 0u);
}

}  // namespace
