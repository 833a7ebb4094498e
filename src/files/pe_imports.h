// The DLLs an application's output links: the names in the import directory of a PE32 or PE32+
// .EXE or .DLL. The batch reads them after each make (and for an output found up to date) to learn
// which other applications of the list must be made first.
//
// Only the import directory (data directory 1) is read. Delay-loaded DLLs (data directory 13) are
// not: a program starts without them, and the IDE's programs link their libraries directly. Bound
// imports change nothing here: their descriptors stay in the import directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace files {

// Why no names were read; kRead when the file was read to its closing descriptor.
enum class PeImportsStatus {
  kRead,              // `dlls` holds the names (none for a program that imports nothing)
  kUnreadable,        // the file could not be opened or read
  kNotPe,             // no "MZ", no "PE\0\0", or an optional header neither PE32 nor PE32+
  kTruncated,         // a header or table begins inside the file but ends past its end
  kOutOfRange,        // an offset past the end of the file, or an RVA in no section's data
  kAbsurdSize,        // a size larger than kMaxPeFileSize, or data directories overflowing their header
  kDescriptorLoop,    // more descriptors than any program has, without the closing empty one
  kUnterminatedName,  // a DLL name with no terminating zero within its section or kMaxDllName
  kBadName,           // an empty DLL name, or one holding control characters
};

struct PeImports {
  PeImportsStatus status = PeImportsStatus::kUnreadable;
  std::string note;               // why nothing was read, for the log; empty when kRead
  bool pe32_plus = false;         // the optional header's magic was 0x20B
  std::vector<std::string> dlls;  // as spelled in the file, in descriptor order; empty unless kRead
  bool ok() const { return status == PeImportsStatus::kRead; }
};

// More descriptors than this is taken for a loop: programs import tens of DLLs, not thousands.
inline constexpr std::size_t kMaxImportDescriptors = 4096;
// A DLL name's longest form (a Windows path, MAX_PATH with its terminating zero).
inline constexpr std::size_t kMaxDllName = 260;
// Files larger than this are not read, and a size field larger than this marks a damaged header:
// no output of the IDE comes near it.
inline constexpr std::uint64_t kMaxPeFileSize = 512ull << 20;

// The imports of the PE file held in `bytes`. Never reads outside `bytes`, never throws, and
// allocates only for the names it returns (at most kMaxImportDescriptors of at most kMaxDllName
// bytes). On any damage `dlls` is empty: a half-read table would make half the needs.
PeImports ReadPeImports(std::span<const std::uint8_t> bytes);

// The same for the file at `path` (the system's spelling): kUnreadable when it cannot be opened or
// read, kAbsurdSize when it is larger than kMaxPeFileSize.
PeImports ReadPeImportsFile(const std::string& path);

// Whether two DLL names are the same, as the loader and the file system see them: letter case
// ignored by the code page's fold.
bool SameDllName(std::string_view a, std::string_view b);

// The status as a short word for logs and tests ("read", "truncated", ...).
const char* PeImportsStatusName(PeImportsStatus status);

}  // namespace files
