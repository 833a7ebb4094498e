// libFuzzer target for the import table reader: any bytes must give either names or a status with
// a note, never a read outside the buffer (ASan) or undefined arithmetic (UBSan). Run by scripts/fuzz.sh.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "files/pe_imports.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that ASan sees any read one byte past the end.
  const std::vector<std::uint8_t> bytes(data, data + size);
  const files::PeImports read = files::ReadPeImports(bytes);
  // The reader's own promises: names only when read, a note whenever not, bounded results.
  if (read.ok() != read.note.empty()) std::abort();
  if (!read.ok() && !read.dlls.empty()) std::abort();
  if (read.dlls.size() > files::kMaxImportDescriptors) std::abort();
  for (const std::string& name : read.dlls)
    if (name.empty() || name.size() >= files::kMaxDllName || !files::SameDllName(name, name)) std::abort();
  return 0;
}
