// The import table reader on PE files that no one here wrote (the Windows build's own programs, wine's
// DLLs), and on one of them damaged in each way the reader must survive. Skipped when neither exists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "files/pe_imports.h"

namespace {

namespace fs = std::filesystem;
using files::PeImports;
using files::PeImportsStatus;
using Bytes = std::vector<std::uint8_t>;

const fs::path kProgram = fs::path(NIGHTJAR_WINDOWS_BUILD) / "src/shell/nightjar.exe";
const fs::path kWineDirs[] = {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/x86_64-linux-gnu/wine/i386-windows",
                              "/usr/lib/wine/x86_64-windows", "/usr/lib/wine/i386-windows"};

bool Imports(const PeImports& read, const char* dll) {
  for (const std::string& name : read.dlls)
    if (files::SameDllName(name, dll)) return true;
  return false;
}

TEST(PeImports, ProgramOfTheWindowsBuildImportsTheSystemDlls) {
  if (!fs::exists(kProgram)) GTEST_SKIP() << kProgram << " not built";
  const PeImports read = files::ReadPeImportsFile(kProgram.string());
  ASSERT_TRUE(read.ok()) << read.note;
  EXPECT_TRUE(read.pe32_plus);
  for (const char* dll : {"kernel32.dll", "user32.dll", "comctl32.dll"}) EXPECT_TRUE(Imports(read, dll)) << dll;
  EXPECT_FALSE(Imports(read, "kernel32"));
}

TEST(PeImports, EveryWineDllReadsAndTheKnownOnesNameTheirImports) {
  int read_files = 0;
  for (const fs::path& dir : kWineDirs) {
    if (!fs::is_directory(dir)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() != ".dll") continue;
      const PeImports read = files::ReadPeImportsFile(entry.path().string());
      ++read_files;
      EXPECT_TRUE(read.ok()) << entry.path() << ": " << read.note;
      EXPECT_EQ(read.pe32_plus, dir.filename() == "x86_64-windows") << entry.path();
      const char* known = entry.path().filename() == "zlib1.dll"      ? "MSVCRT.DLL"
                          : entry.path().filename() == "kernel32.dll" ? "KernelBase.dll"
                                                                      : nullptr;
      if (known) {
        EXPECT_TRUE(Imports(read, known)) << entry.path();
      }
    }
  }
  if (read_files == 0) GTEST_SKIP() << "wine's DLLs are not installed";
}

// Where the damage goes, found in the undamaged file by its own headers.
struct Layout {
  std::size_t pe, optional, directories, import_directory, sections, import_section, table, name;
  std::uint32_t U32(const Bytes& b, std::size_t at) const { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24; }
  void Put32(Bytes& b, std::size_t at, std::uint32_t v) const { for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> 8 * i); }
  explicit Layout(const Bytes& b) {
    pe = U32(b, 0x3C);
    optional = pe + 24;
    directories = optional + (b[optional + 1] == 2 ? 112 : 96);
    import_directory = directories + 8;
    sections = optional + (b[pe + 20] | b[pe + 21] << 8);
    const auto map = [&](std::uint32_t rva, std::size_t* section) -> std::size_t {
      for (std::size_t s = sections; s < sections + 40 * (b[pe + 6] | b[pe + 7] << 8); s += 40)
        if (rva >= U32(b, s + 12) && rva < U32(b, s + 12) + U32(b, s + 16))
          return *section = s, U32(b, s + 20) + rva - U32(b, s + 12);
      return 0;
    };
    table = map(U32(b, import_directory), &import_section);
    std::size_t name_section = 0;
    name = table == 0 ? 0 : map(U32(b, table + 12), &name_section);
  }
};

struct Damage {
  const char* what;
  std::function<void(Bytes&, const Layout&)> mutate;
  PeImportsStatus expected;
};

TEST(PeImports, DamagedFileGivesNoNamesAndSaysWhy) {
  fs::path base = kProgram;
  if (!fs::exists(base)) base = fs::path(kWineDirs[0]) / "kernel32.dll";
  if (!fs::exists(base)) GTEST_SKIP() << "no PE file to damage";
  std::ifstream in(base, std::ios::binary);
  const Bytes original{std::istreambuf_iterator<char>(in), {}};
  const Layout at(original);
  ASSERT_NE(at.name, 0u) << "the import table of " << base << " was not found";
  const auto cut = [](std::size_t size) { return [size](Bytes& b, const Layout&) { b.resize(size); }; };
  const auto put = [](std::function<std::size_t(const Layout&)> where, std::uint32_t value) {
    return [where, value](Bytes& b, const Layout& l) { l.Put32(b, where(l), value); };
  };
  const Damage damages[] = {
      {"empty", cut(0), PeImportsStatus::kNotPe},
      {"MZ alone", cut(2), PeImportsStatus::kTruncated},
      {"cut in the DOS header", cut(63), PeImportsStatus::kTruncated},
      {"cut in the signature", cut(at.pe + 3), PeImportsStatus::kTruncated},
      {"cut in the COFF header", cut(at.pe + 23), PeImportsStatus::kTruncated},
      {"cut in the optional header", cut(at.optional + 50), PeImportsStatus::kTruncated},
      {"cut in the section table", cut(at.sections + 39), PeImportsStatus::kTruncated},
      {"cut in the import table", cut(at.table + 10), PeImportsStatus::kTruncated},
      {"cut in the first name", cut(at.name + 3), PeImportsStatus::kTruncated},
      {"no MZ", [](Bytes& b, const Layout&) { b[0] = 'X'; }, PeImportsStatus::kNotPe},
      {"e_lfanew past the end", put([](auto&) { return 0x3C; }, 0x7FFFFFF0), PeImportsStatus::kOutOfRange},
      {"no PE signature", [](Bytes& b, const Layout& l) { b[l.pe + 1] = 'X'; }, PeImportsStatus::kNotPe},
      {"ROM magic", [](Bytes& b, const Layout& l) { b[l.optional] = 0x07; b[l.optional + 1] = 0x01; }, PeImportsStatus::kNotPe},
      {"no sections", [](Bytes& b, const Layout& l) { b[l.pe + 6] = b[l.pe + 7] = 0; }, PeImportsStatus::kOutOfRange},
      {"1 G data directories", put([](auto& l) { return l.directories - 4; }, 1u << 30), PeImportsStatus::kAbsurdSize},
      {"import RVA in no section", put([](auto& l) { return l.import_directory; }, 0xFFFFFF00), PeImportsStatus::kOutOfRange},
      {"1 GB import size", put([](auto& l) { return l.import_directory + 4; }, 1u << 30), PeImportsStatus::kAbsurdSize},
      {"1 GB import section", put([](auto& l) { return l.import_section + 16; }, 1u << 30), PeImportsStatus::kAbsurdSize},
      {"name RVA in no section", put([](auto& l) { return l.table + 12; }, 0x7FFFFFF0), PeImportsStatus::kOutOfRange},
      {"empty name", [](Bytes& b, const Layout& l) { b[l.name] = 0; }, PeImportsStatus::kBadName},
      {"control character in a name", [](Bytes& b, const Layout& l) { b[l.name + 1] = 0x07; }, PeImportsStatus::kBadName},
      {"unterminated name",
       [](Bytes& b, const Layout& l) { std::fill(b.begin() + l.name, b.begin() + std::min(b.size(), l.name + 300), 'A'); },
       PeImportsStatus::kUnterminatedName},
      {"descriptors that never end",  // copies of the first one appended, the last section grown to hold them
       [](Bytes& b, const Layout& l) {
         const std::size_t last = l.sections + 40 * ((b[l.pe + 6] | b[l.pe + 7] << 8) - 1), end = b.size();
         for (int i = 0; i < 5000; ++i) b.insert(b.end(), b.begin() + l.table, b.begin() + l.table + 20);
         l.Put32(b, last + 8, b.size() - l.U32(b, last + 20));
         l.Put32(b, last + 16, b.size() - l.U32(b, last + 20));
         l.Put32(b, l.import_directory, l.U32(b, last + 12) + end - l.U32(b, last + 20));
       },
       PeImportsStatus::kDescriptorLoop},
  };
  for (const Damage& damage : damages) {
    Bytes bytes = original;
    damage.mutate(bytes, at);
    const PeImports read = files::ReadPeImports(bytes);
    EXPECT_EQ(files::PeImportsStatusName(read.status), files::PeImportsStatusName(damage.expected))
        << damage.what << ": " << read.note;
    EXPECT_TRUE(read.dlls.empty()) << damage.what;
    EXPECT_FALSE(read.note.empty()) << damage.what;
  }
}

// The PE32 layout: the same file with its data directories where a PE32 optional header has them.
TEST(PeImports, Pe32HeaderFindsTheSameNames) {
  fs::path base = kProgram;
  if (!fs::exists(base)) base = fs::path(kWineDirs[0]) / "kernel32.dll";
  if (!fs::exists(base)) GTEST_SKIP() << "no PE32+ file to turn";
  const PeImports wide = files::ReadPeImportsFile(base.string());
  std::ifstream in(base, std::ios::binary);
  Bytes bytes{std::istreambuf_iterator<char>(in), {}};
  const Layout at(bytes);
  bytes[at.optional] = 0x0B, bytes[at.optional + 1] = 0x01;
  std::copy(bytes.begin() + at.optional + 108, bytes.begin() + at.sections, bytes.begin() + at.optional + 92);
  const PeImports narrow = files::ReadPeImports(bytes);
  ASSERT_TRUE(narrow.ok()) << narrow.note;
  EXPECT_FALSE(narrow.pe32_plus);
  EXPECT_EQ(narrow.dlls, wide.dlls);
}

}  // namespace
