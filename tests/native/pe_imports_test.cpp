// The import table reader on PE files that no one here wrote (the Windows build's own programs, wine's
// DLLs), and on one of them damaged in each way the reader must survive. Skipped when neither exists.
#include <gtest/gtest.h>

#include <algorithm>
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
const fs::path kWineDirs[] = {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                              "/usr/lib/x86_64-linux-gnu/wine/i386-windows", "/usr/lib/wine/x86_64-windows",
                              "/usr/lib/wine/i386-windows"};

// The file the damage goes into: the Windows build's program, or else a wine DLL; "" when neither.
fs::path Base() {
  for (const fs::path& path : {kProgram, kWineDirs[0] / "kernel32.dll"})
    if (fs::exists(path)) return path;
  return {};
}
Bytes Slurp(const fs::path& p) { std::ifstream in(p, std::ios::binary); return {std::istreambuf_iterator<char>(in), {}}; }

bool Imports(const PeImports& read, const char* dll) {
  return std::ranges::any_of(read.dlls, [dll](const std::string& name) { return files::SameDllName(name, dll); });
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
      const fs::path name = entry.path().filename();
      EXPECT_TRUE(name != "zlib1.dll" || Imports(read, "MSVCRT.DLL")) << entry.path();
      EXPECT_TRUE(name != "kernel32.dll" || Imports(read, "KernelBase.dll")) << entry.path();
    }
  }
  if (read_files == 0) GTEST_SKIP() << "wine's DLLs are not installed";
}

std::uint32_t U32(const Bytes& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}
void Put32(Bytes& b, std::size_t at, std::size_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(value >> 8 * i);
}

// Where the damage goes, found in the undamaged file by its own headers.
struct Layout {
  std::size_t pe, optional, directories, import_directory, sections, last_section, import_section = 0, table, name;
  explicit Layout(const Bytes& b)
      : pe(U32(b, 0x3C)), optional(pe + 24), directories(optional + (b[optional + 1] == 2 ? 112 : 96)),
        import_directory(directories + 8), sections(optional + (b[pe + 20] | b[pe + 21] << 8)),
        last_section(sections + 40 * ((b[pe + 6] | b[pe + 7] << 8) - 1)) {
    const auto map = [&](std::uint32_t rva, std::size_t& section) -> std::size_t {
      for (std::size_t s = sections; s <= last_section; s += 40)
        if (rva >= U32(b, s + 12) && rva < U32(b, s + 12) + U32(b, s + 16))
          return section = s, U32(b, s + 20) + rva - U32(b, s + 12);
      return 0;
    };
    std::size_t name_section = 0;
    table = map(U32(b, import_directory), import_section);
    name = table == 0 ? 0 : map(U32(b, table + 12), name_section);
  }
};

TEST(PeImports, DamagedFileGivesNoNamesAndSaysWhy) {
  const fs::path base = Base();
  if (base.empty()) GTEST_SKIP() << "no PE file to damage";
  const Bytes original = Slurp(base);
  const Layout at(original);
  ASSERT_TRUE(at.name != 0 && at.name + 300 < original.size()) << "no import table found in " << base;
  using Mutation = std::function<void(Bytes&)>;
  const auto cut = [](std::size_t size) -> Mutation { return [=](Bytes& b) { b.resize(size); }; };
  const auto put = [](std::size_t at, std::uint32_t value) -> Mutation { return [=](Bytes& b) { Put32(b, at, value); }; };
  const auto set = [](std::size_t at, std::uint8_t byte) -> Mutation { return [=](Bytes& b) { b[at] = byte; }; };
  const std::size_t kGiga = 1u << 30;
  const struct { const char* what; Mutation mutate; PeImportsStatus expected; } damages[] = {
      {"empty", cut(0), PeImportsStatus::kNotPe},
      {"MZ alone", cut(2), PeImportsStatus::kTruncated},
      {"cut in the DOS header", cut(63), PeImportsStatus::kTruncated},
      {"cut in the signature", cut(at.pe + 3), PeImportsStatus::kTruncated},
      {"cut in the COFF header", cut(at.pe + 23), PeImportsStatus::kTruncated},
      {"cut in the optional header", cut(at.optional + 50), PeImportsStatus::kTruncated},
      {"cut in the section table", cut(at.sections + 39), PeImportsStatus::kTruncated},
      {"cut in the import table", cut(at.table + 10), PeImportsStatus::kTruncated},
      {"cut in the first name", cut(at.name + 3), PeImportsStatus::kTruncated},
      {"no MZ", set(0, 'X'), PeImportsStatus::kNotPe},
      {"e_lfanew past the end", put(0x3C, 0x7FFFFFF0), PeImportsStatus::kOutOfRange},
      {"no PE signature", set(at.pe + 1, 'X'), PeImportsStatus::kNotPe},
      {"ROM magic", set(at.optional, 0x07), PeImportsStatus::kNotPe},
      {"no sections", [&](Bytes& b) { b[at.pe + 6] = b[at.pe + 7] = 0; }, PeImportsStatus::kOutOfRange},
      {"1 G data directories", put(at.directories - 4, kGiga), PeImportsStatus::kAbsurdSize},
      {"import RVA in no section", put(at.import_directory, 0xFFFFFF00), PeImportsStatus::kOutOfRange},
      {"1 GB import size", put(at.import_directory + 4, kGiga), PeImportsStatus::kAbsurdSize},
      {"1 GB import section", put(at.import_section + 16, kGiga), PeImportsStatus::kAbsurdSize},
      {"name RVA in no section", put(at.table + 12, 0x7FFFFFF0), PeImportsStatus::kOutOfRange},
      {"empty name", set(at.name, 0), PeImportsStatus::kBadName},
      {"control character in a name", set(at.name + 1, 0x07), PeImportsStatus::kBadName},
      {"unterminated name", [&](Bytes& b) { std::fill(b.begin() + at.name, b.begin() + at.name + 300, 'A'); },
       PeImportsStatus::kUnterminatedName},
      {"descriptors that never end",  // copies of the first one appended, the last section grown to hold them
       [&](Bytes& b) {
         const std::size_t end = b.size(), raw = U32(b, at.last_section + 20);
         for (int i = 0; i < 5000; ++i) b.insert(b.end(), b.begin() + at.table, b.begin() + at.table + 20);
         for (int field : {8, 16}) Put32(b, at.last_section + field, b.size() - raw);
         Put32(b, at.import_directory, U32(b, at.last_section + 12) + end - raw);
       },
       PeImportsStatus::kDescriptorLoop},
  };
  for (const auto& damage : damages) {
    Bytes bytes = original;
    damage.mutate(bytes);
    const PeImports read = files::ReadPeImports(bytes);
    EXPECT_EQ(files::PeImportsStatusName(read.status), files::PeImportsStatusName(damage.expected))
        << damage.what << ": " << read.note;
    EXPECT_TRUE(read.dlls.empty()) << damage.what;
    EXPECT_FALSE(read.note.empty()) << damage.what;
  }
}

// The PE32 layout: the same file with its data directories where a PE32 optional header has them.
TEST(PeImports, Pe32HeaderFindsTheSameNames) {
  const fs::path base = Base();
  if (base.empty()) GTEST_SKIP() << "no PE32+ file to turn";
  const PeImports wide = files::ReadPeImportsFile(base.string());
  Bytes bytes = Slurp(base);
  const Layout at(bytes);
  bytes[at.optional + 1] = 0x01;  // 0x20B becomes 0x10B
  std::copy(bytes.begin() + at.optional + 108, bytes.begin() + at.sections, bytes.begin() + at.optional + 92);
  const PeImports narrow = files::ReadPeImports(bytes);
  ASSERT_TRUE(narrow.ok()) << narrow.note;
  EXPECT_FALSE(narrow.pe32_plus);
  EXPECT_EQ(narrow.dlls, wide.dlls);
}

}  // namespace
