// The build's check of a saver bundle's library, run by somnel_add_saver
// right after linking:
//   - it exports exactly two symbols, the function table named after the
//     bundle and the principal class's entry <Principal>_create;
//   - the class name its table declares (after the table's setup, which
//     fills it for a mode-table hack) is the bundle's name up to letter
//     case, so that the options file (<class in lower case>.xml) and the
//     preferences domain the view derives from it belong to this bundle.
// Prints one line naming what is wrong and how to mend it, and exits 1;
// with --remove-on-failure it also deletes the library, so that the next
// build links and checks it again instead of taking it as up to date.
//
// Usage: check_saver [--remove-on-failure] LIBRARY NAME PRINCIPAL
#include "somnel/somnel_function_table.h"

#include <dlfcn.h>
#include <elf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

// The check loads the bundle; what the bundle's libraries keep for the
// life of the process is no leak of the check's.
extern "C" int __lsan_is_turned_off() { return 1; }

namespace {

std::string lowered(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The symbols a 64-bit ELF library defines in its dynamic symbol table,
// without the linker's own markers and the address sanitizer's companions
// of exported data (__odr_asan.<name>). False when the file is no such
// library.
bool exportedSymbols(const std::string &path, std::set<std::string> *out) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < sizeof(Elf64_Ehdr)) return false;
    Elf64_Ehdr eh;
    memcpy(&eh, file.data(), sizeof eh);
    if (memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) return false;
    if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff + eh.e_shnum * sizeof(Elf64_Shdr) > file.size())
        return false;
    std::vector<Elf64_Shdr> sections(eh.e_shnum);
    memcpy(sections.data(), file.data() + eh.e_shoff, eh.e_shnum * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr &sh : sections) {
        if (sh.sh_type != SHT_DYNSYM || sh.sh_link >= sections.size()) continue;
        const Elf64_Shdr &strings = sections[sh.sh_link];
        if (sh.sh_offset + sh.sh_size > file.size() || strings.sh_offset + strings.sh_size > file.size())
            return false;
        for (size_t off = 0; off + sizeof(Elf64_Sym) <= sh.sh_size; off += sizeof(Elf64_Sym)) {
            Elf64_Sym sym;
            memcpy(&sym, file.data() + sh.sh_offset + off, sizeof sym);
            const int bind = ELF64_ST_BIND(sym.st_info);
            if ((bind != STB_GLOBAL && bind != STB_WEAK) || sym.st_shndx == SHN_UNDEF) continue;
            if (sym.st_name >= strings.sh_size) return false;
            const char *name = file.data() + strings.sh_offset + sym.st_name;
            const std::string s(name, strnlen(name, strings.sh_size - sym.st_name));
            if (s != "_edata" && s != "_end" && s != "__bss_start" && s.rfind("__odr_asan", 0) != 0)
                out->insert(s);
        }
    }
    return true;
}

// What is wrong with the library, or "" when nothing is.
std::string problem(const std::string &library, const std::string &name, const std::string &principal) {
    std::string table = lowered(name);
    table.erase(std::remove(table.begin(), table.end(), ' '), table.end());
    table += "_somnel_function_table";
    const std::string entry = principal + "_create";

    std::set<std::string> exported;
    if (!exportedSymbols(library, &exported)) return "is not a 64-bit ELF library";
    if (!exported.count(table))
        return "exports no \"" + table +
               "\": define the saver's function table under that name, at file scope (outside any C++ "
               "namespace), in a source that includes \"somnel/somnel_function_table.h\"";
    if (!exported.count(entry))
        return "exports no \"" + entry + "\": write SOMNEL_PRINCIPAL_CLASS(" + principal +
               ", SOMNEL_2D_VIEW or SOMNEL_GL_VIEW); at file scope in one source (\"somnel/principal.h\"), "
               "with the class named as PRINCIPAL says";
    for (const std::string &s : exported)
        if (s != table && s != entry)
            return "exports \"" + s + "\" besides its function table and principal class: build bundles "
                   "with somnel_add_saver, which exports those two only";

    void *handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return std::string("cannot be loaded: ") + dlerror();
    auto *xsft = static_cast<somnel_function_table *>(dlsym(handle, table.c_str()));
    if (!xsft) return "exports no \"" + table + "\" to the loader";
    try {
        if (xsft->setup_cb) xsft->setup_cb(xsft, xsft->setup_arg);
    } catch (const std::exception &e) {
        return std::string("fails in its function table's setup: ") + e.what();
    }
    if (!xsft->progclass)
        return "has a function table that names no class (progclass): set it to \"" + name +
               "\" (in the mode table, for a hack written to the mode layer)";
    const std::string cls = xsft->progclass;
    if (lowered(cls) != lowered(name))
        return "has a function table whose class \"" + cls + "\" is not the bundle's name \"" + name +
               "\" in any letter case: the view would look for " + lowered(cls) +
               ".xml and keep the preferences of \"" + cls + "\"; name the class \"" + name +
               "\" (or the bundle \"" + cls + "\")";
    return "";
}

}  // namespace

int main(int argc, char **argv) {
    bool remove = argc > 1 && !strcmp(argv[1], "--remove-on-failure");
    if (remove) --argc, ++argv;
    if (argc != 4) {
        fprintf(stderr, "usage: check_saver [--remove-on-failure] LIBRARY NAME PRINCIPAL\n");
        return 2;
    }
    const std::string library = argv[1];
    const std::string why = problem(library, argv[2], argv[3]);
    if (why.empty()) return 0;
    const size_t slash = library.rfind('/');
    fprintf(stderr, "error: %s %s\n", library.substr(slash == std::string::npos ? 0 : slash + 1).c_str(),
            why.c_str());
    if (remove) unlink(library.c_str());
    return 1;
}
