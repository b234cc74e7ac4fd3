// The shared library's dynamic symbol table holds the public functions and
// nothing else: every defined global symbol is one of the 37 functions of
// tarsasdk.h. Read straight from the ELF file, so no tool is needed.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

const std::set<std::string> kPublicFunctions = {
    // lifecycle and callback
    "tarsa_sdk_startup", "tarsa_sdk_cleanup", "tarsa_sdk_is_startup", "tarsa_sdk_set_mess_callback",
    // probing and options
    "tarsa_sdk_probe", "tarsa_sdk_probe_ex", "tarsa_sdk_probe_ex2", "tarsa_sdk_set_option_param",
    // conversion
    "tarsa_sdk_create", "tarsa_sdk_create_v1", "tarsa_sdk_get_pos", "tarsa_sdk_start", "tarsa_sdk_start_ex",
    "tarsa_sdk_stop", "tarsa_sdk_destroy",
    // cut
    "tarsa_sdk_cut_create", "tarsa_sdk_cut_create_v1", "tarsa_sdk_cut_get_pos", "tarsa_sdk_cut_start",
    "tarsa_sdk_cut_stop", "tarsa_sdk_cut_destroy",
    // merge
    "tarsa_sdk_merge_create", "tarsa_sdk_merge_create_v1", "tarsa_sdk_merge_add_file", "tarsa_sdk_merge_del_file",
    "tarsa_sdk_merge_set_tmp_path", "tarsa_sdk_merge_get_pos", "tarsa_sdk_merge_start", "tarsa_sdk_merge_start_ex",
    "tarsa_sdk_merge_stop", "tarsa_sdk_merge_destroy",
    // codec compatibility, hardware, processes
    "tarsa_sdk_get_vcodec_id_compatible", "tarsa_sdk_get_acodec_id_compatible", "tarsa_register_hwd",
    "tarsa_sdk_find_usr_hwd", "tarsa_sdk_get_ffmpeg_pid", "tarsa_sdk_kill_pid",
};

struct DynamicSymbol {
    std::string name;
    unsigned type;
};

// Defined symbols of .dynsym that other objects can bind to. Empty with
// *error set when the file is not a 64-bit ELF file that can be read.
std::vector<DynamicSymbol> exported_symbols(const std::string &path, std::string *error)
{
    std::vector<DynamicSymbol> out;
    const std::string image = tt::read_file(path);
    auto fits = [&](size_t offset, size_t size) { return offset <= image.size() && size <= image.size() - offset; };
    Elf64_Ehdr eh;
    if (!fits(0, sizeof eh)) return *error = "too short", out;
    std::memcpy(&eh, image.data(), sizeof eh);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
        return *error = "not a 64-bit ELF file", out;
    if (eh.e_shentsize != sizeof(Elf64_Shdr) || !fits(eh.e_shoff, static_cast<size_t>(eh.e_shnum) * sizeof(Elf64_Shdr)))
        return *error = "bad section table", out;
    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    std::memcpy(sections.data(), image.data() + eh.e_shoff, sections.size() * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr &sh : sections) {
        if (sh.sh_type != SHT_DYNSYM) continue;
        if (sh.sh_link >= sections.size() || sh.sh_entsize != sizeof(Elf64_Sym) || !fits(sh.sh_offset, sh.sh_size))
            return *error = "bad .dynsym", out;
        const Elf64_Shdr &strtab = sections[sh.sh_link];
        if (!fits(strtab.sh_offset, strtab.sh_size)) return *error = "bad string table", out;
        for (size_t i = 1; i < sh.sh_size / sizeof(Elf64_Sym); i++) {  // entry 0 is the null symbol
            Elf64_Sym sym;
            std::memcpy(&sym, image.data() + sh.sh_offset + i * sizeof sym, sizeof sym);
            const unsigned bind = ELF64_ST_BIND(sym.st_info);
            const unsigned visibility = ELF64_ST_VISIBILITY(sym.st_other);
            if (sym.st_shndx == SHN_UNDEF) continue;  // imported, not exported
            if (bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE) continue;
            if (visibility != STV_DEFAULT && visibility != STV_PROTECTED) continue;
            if (sym.st_name >= strtab.sh_size) return *error = "bad symbol name", out;
            const char *name = image.data() + strtab.sh_offset + sym.st_name;
            out.push_back({std::string(name, strnlen(name, strtab.sh_size - sym.st_name)), ELF64_ST_TYPE(sym.st_info)});
        }
        return out;
    }
    *error = "no .dynsym";
    return out;
}

TEST(SharedLibrary, ExportsOnlyPublicFunctions)
{
    ASSERT_EQ(kPublicFunctions.size(), 37u);
    std::string error;
    std::vector<DynamicSymbol> symbols = exported_symbols(TARSA_SHARED_LIB, &error);
    ASSERT_TRUE(error.empty()) << TARSA_SHARED_LIB << ": " << error;
    ASSERT_FALSE(symbols.empty());
    std::set<std::string> present;
    for (const DynamicSymbol &s : symbols) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(s.name.rfind("tarsa_", 0), 0u);
        EXPECT_EQ(kPublicFunctions.count(s.name), 1u) << "exported but not public";
        EXPECT_EQ(s.type, static_cast<unsigned>(STT_FUNC));
        EXPECT_TRUE(present.insert(s.name).second) << "exported twice";
    }
    // The exports that lifecycle, probing and process control provide.
    for (const char *name : {"tarsa_sdk_startup", "tarsa_sdk_cleanup", "tarsa_sdk_is_startup", "tarsa_sdk_probe",
                             "tarsa_sdk_probe_ex", "tarsa_sdk_probe_ex2", "tarsa_sdk_kill_pid"})
        EXPECT_EQ(present.count(name), 1u) << name;
    std::printf("[ exports  ] %zu of %zu public functions exported\n", present.size(), kPublicFunctions.size());
}

}  // namespace
