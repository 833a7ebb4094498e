// Reads the import directory of a PE32 or PE32+ file by the PE/COFF layout: the DOS header's
// e_lfanew, the "PE\0\0" signature, the COFF header, the optional header (its magic says which of
// the two layouts its data directories follow), and the section table, through which every RVA is
// turned into a file offset. Each read is checked against the buffer first; offsets are computed in
// 64 bits, so no field's value can wrap them.
#include "files/pe_imports.h"

#include <cstdio>
#include <fstream>

#include "platform/code_page.h"

namespace files {
namespace {

// Offsets of the layout's fields, as the PE/COFF format documents them.
constexpr std::uint64_t kDosHeaderSize = 64;        // e_lfanew is its last field, at 0x3C
constexpr std::uint64_t kLfanewOffset = 0x3C;
constexpr std::uint64_t kCoffHeaderSize = 20;       // after the 4-byte signature
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kImportDescriptorSize = 20;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint64_t kImportDirectory = 1;       // index among the data directories

// Where the two layouts differ: the count of data directories and the directories themselves,
// from the start of the optional header.
struct OptionalLayout {
  std::uint64_t directory_count;
  std::uint64_t directories;
};
constexpr OptionalLayout kPe32Layout{92, 96};
constexpr OptionalLayout kPe32PlusLayout{108, 112};

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

PeImports Fail(PeImportsStatus status, std::string note) {
  PeImports result;
  result.status = status;
  result.note = std::move(note);
  return result;
}

// A run of the file's bytes that an RVA maps to: from `offset`, `available` bytes of the section's
// data that the file holds. `failure` is kRead when the mapping succeeded.
struct Mapped {
  PeImports failure;
  std::uint64_t offset = 0;
  std::uint64_t available = 0;
};

class PeView {
 public:
  explicit PeView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::uint64_t size() const { return bytes_.size(); }
  bool Has(std::uint64_t offset, std::uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  // Preconditions: Has(offset, 2) and Has(offset, 4).
  std::uint16_t U16(std::uint64_t offset) const {
    return static_cast<std::uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
  }
  std::uint32_t U32(std::uint64_t offset) const {
    return static_cast<std::uint32_t>(U16(offset)) | static_cast<std::uint32_t>(U16(offset + 2)) << 16;
  }
  std::uint8_t Byte(std::uint64_t offset) const { return bytes_[offset]; }

  void SetSections(std::uint64_t table, std::uint32_t count) {
    section_table_ = table;
    section_count_ = count;
  }

  // The file bytes at `rva`, in the first section whose memory range holds it. Precondition: the
  // section table lies inside the buffer (SetSections was given a checked table).
  Mapped Map(std::uint32_t rva, const char* what) const {
    Mapped mapped;
    for (std::uint32_t i = 0; i < section_count_; ++i) {
      const std::uint64_t header = section_table_ + i * kSectionHeaderSize;
      const std::uint64_t virtual_size = U32(header + 8);
      const std::uint64_t virtual_address = U32(header + 12);
      const std::uint64_t raw_size = U32(header + 16);
      const std::uint64_t raw_offset = U32(header + 20);
      // A section whose VirtualSize is zero spans its raw data in memory.
      const std::uint64_t extent = virtual_size != 0 ? virtual_size : raw_size;
      if (rva < virtual_address || rva - virtual_address >= extent) continue;
      const std::uint64_t into = rva - virtual_address;
      if (raw_size > kMaxPeFileSize) {
        mapped.failure = Fail(PeImportsStatus::kAbsurdSize, std::string("the section holding the ") + what +
                                                                " claims " + Hex(raw_size) + " bytes of data");
        return mapped;
      }
      if (into >= raw_size) {
        // Memory the loader fills with zeros: the file holds nothing there.
        mapped.failure = Fail(PeImportsStatus::kOutOfRange, std::string("the ") + what + " at RVA " + Hex(rva) +
                                                                " lies past its section's data in the file");
        return mapped;
      }
      if (raw_offset + raw_size > size()) {
        mapped.failure = Fail(PeImportsStatus::kTruncated,
                              std::string("the section holding the ") + what + " ends at " +
                                  Hex(raw_offset + raw_size) + ", past the end of the file (" + Hex(size()) + ")");
        return mapped;
      }
      mapped.failure.status = PeImportsStatus::kRead;
      mapped.offset = raw_offset + into;
      mapped.available = raw_size - into;
      return mapped;
    }
    mapped.failure = Fail(PeImportsStatus::kOutOfRange,
                          std::string("the ") + what + " at RVA " + Hex(rva) + " lies in no section");
    return mapped;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint64_t section_table_ = 0;
  std::uint32_t section_count_ = 0;
};

// The zero-terminated DLL name at `rva`, appended to `dlls`; kRead or why it could not be.
PeImports ReadName(const PeView& view, std::uint32_t rva, std::vector<std::string>& dlls) {
  Mapped mapped = view.Map(rva, "DLL name");
  if (!mapped.failure.ok()) return mapped.failure;
  const std::uint64_t limit = mapped.available < kMaxDllName ? mapped.available : kMaxDllName;
  std::string name;
  for (std::uint64_t i = 0;; ++i) {
    if (i == limit) {
      return Fail(PeImportsStatus::kUnterminatedName,
                  "the DLL name at RVA " + Hex(rva) +
                      (limit == mapped.available ? " runs to the end of its section without its terminating zero"
                                                 : " has no terminating zero within " + std::to_string(kMaxDllName) +
                                                       " bytes"));
    }
    const std::uint8_t c = view.Byte(mapped.offset + i);
    if (c == 0) break;
    if (c < 0x20 || c == 0x7F)
      return Fail(PeImportsStatus::kBadName, "the DLL name at RVA " + Hex(rva) + " holds control characters");
    name.push_back(static_cast<char>(c));
  }
  if (name.empty()) return Fail(PeImportsStatus::kBadName, "the DLL name at RVA " + Hex(rva) + " is empty");
  dlls.push_back(std::move(name));
  return Fail(PeImportsStatus::kRead, "");
}

}  // namespace

PeImports ReadPeImports(std::span<const std::uint8_t> bytes) {
  PeView view(bytes);
  const bool has_mz = view.Has(0, 2) && view.Byte(0) == 'M' && view.Byte(1) == 'Z';
  if (!has_mz) return Fail(PeImportsStatus::kNotPe, "no MZ header: not a program or a DLL");
  if (!view.Has(0, kDosHeaderSize))
    return Fail(PeImportsStatus::kTruncated, "the file ends inside its DOS header (" + Hex(view.size()) + " bytes)");

  // The PE signature and the COFF header.
  const std::uint64_t pe = view.U32(kLfanewOffset);
  if (pe >= view.size())
    return Fail(PeImportsStatus::kOutOfRange,
                "e_lfanew (" + Hex(pe) + ") points past the end of the file (" + Hex(view.size()) + " bytes)");
  if (!view.Has(pe, 4 + kCoffHeaderSize))
    return Fail(PeImportsStatus::kTruncated, "the file ends inside its PE header at " + Hex(pe));
  if (view.U32(pe) != 0x00004550)  // "PE\0\0"
    return Fail(PeImportsStatus::kNotPe, "no PE signature at e_lfanew (" + Hex(pe) + "): a DOS program or another format");
  const std::uint32_t section_count = view.U16(pe + 4 + 2);
  const std::uint64_t optional_size = view.U16(pe + 4 + 16);
  const std::uint64_t optional = pe + 4 + kCoffHeaderSize;

  // The optional header: its magic decides where the data directories are.
  if (optional_size < 2)
    return Fail(PeImportsStatus::kNotPe, "no optional header: an object file, not a program or a DLL");
  if (!view.Has(optional, 2))
    return Fail(PeImportsStatus::kTruncated, "the file ends before its optional header at " + Hex(optional));
  PeImports result;
  const std::uint16_t magic = view.U16(optional);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus)
    return Fail(PeImportsStatus::kNotPe, "optional header magic " + Hex(magic) + " is neither PE32 nor PE32+");
  result.pe32_plus = magic == kMagicPe32Plus;
  const OptionalLayout layout = result.pe32_plus ? kPe32PlusLayout : kPe32Layout;
  if (optional_size < layout.directories)
    return Fail(PeImportsStatus::kTruncated,
                "the optional header's " + std::to_string(optional_size) + " bytes end before its data directories");
  if (!view.Has(optional, optional_size))
    return Fail(PeImportsStatus::kTruncated, "the file ends inside its optional header");
  const std::uint64_t directory_count = view.U32(optional + layout.directory_count);
  if (layout.directories + directory_count * 8 > optional_size)
    return Fail(PeImportsStatus::kAbsurdSize, std::to_string(directory_count) + " data directories do not fit in the " +
                                                  std::to_string(optional_size) + "-byte optional header");

  // The section table follows the optional header, whatever size that declares.
  const std::uint64_t section_table = optional + optional_size;
  if (!view.Has(section_table, section_count * kSectionHeaderSize))
    return Fail(PeImportsStatus::kTruncated,
                "the file ends inside its table of " + std::to_string(section_count) + " sections");
  view.SetSections(section_table, section_count);

  if (directory_count <= kImportDirectory) {
    result.status = PeImportsStatus::kRead;  // no import directory: a file that links nothing
    return result;
  }
  const std::uint64_t directory = optional + layout.directories + kImportDirectory * 8;
  const std::uint32_t table_rva = view.U32(directory);
  const std::uint64_t table_size = view.U32(directory + 4);
  if (table_rva == 0) {
    result.status = PeImportsStatus::kRead;
    return result;
  }
  // The loader walks to the empty descriptor whatever the size says; only a size no file of ours
  // could have marks the header as damaged.
  if (table_size > kMaxPeFileSize)
    return Fail(PeImportsStatus::kAbsurdSize, "the import directory claims " + Hex(table_size) + " bytes");

  // The descriptors, one per DLL, up to the empty one. A descriptor without a name or without an
  // address table imports nothing, and closes the table here as the empty one does.
  const Mapped table = view.Map(table_rva, "import table");
  if (!table.failure.ok()) return table.failure;
  for (std::uint64_t i = 0;; ++i) {
    if (i == kMaxImportDescriptors)
      return Fail(PeImportsStatus::kDescriptorLoop, "more than " + std::to_string(kMaxImportDescriptors) +
                                                        " import descriptors without the closing empty one");
    const std::uint64_t at = i * kImportDescriptorSize;
    if (at + kImportDescriptorSize > table.available)
      return Fail(PeImportsStatus::kTruncated,
                  "the import table runs past its section's data without its closing empty descriptor");
    const std::uint32_t name_rva = view.U32(table.offset + at + 12);
    const std::uint32_t address_table_rva = view.U32(table.offset + at + 16);
    if (name_rva == 0 || address_table_rva == 0) break;
    PeImports name = ReadName(view, name_rva, result.dlls);
    if (!name.ok()) return name;
  }
  result.status = PeImportsStatus::kRead;
  return result;
}

PeImports ReadPeImportsFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return Fail(PeImportsStatus::kUnreadable, "cannot open " + path);
  const std::streamoff end = in.tellg();
  if (end < 0) return Fail(PeImportsStatus::kUnreadable, "cannot read " + path);
  const std::uint64_t size = static_cast<std::uint64_t>(end);
  if (size > kMaxPeFileSize)
    return Fail(PeImportsStatus::kAbsurdSize, path + " is " + std::to_string(size >> 20) + " MB, larger than any output");
  std::vector<std::uint8_t> bytes(size);
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
    return Fail(PeImportsStatus::kUnreadable, "cannot read " + path);
  return ReadPeImports(bytes);
}

bool SameDllName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (platform::FoldUpper(a[i]) != platform::FoldUpper(b[i])) return false;
  return true;
}

const char* PeImportsStatusName(PeImportsStatus status) {
  switch (status) {
    case PeImportsStatus::kRead: return "read";
    case PeImportsStatus::kUnreadable: return "unreadable";
    case PeImportsStatus::kNotPe: return "not PE";
    case PeImportsStatus::kTruncated: return "truncated";
    case PeImportsStatus::kOutOfRange: return "out of range";
    case PeImportsStatus::kAbsurdSize: return "absurd size";
    case PeImportsStatus::kDescriptorLoop: return "descriptor loop";
    case PeImportsStatus::kUnterminatedName: return "unterminated name";
    case PeImportsStatus::kBadName: return "bad name";
  }
  return "?";
}

}  // namespace files
