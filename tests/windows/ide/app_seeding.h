// Seeding a folder with tagged applications, as a user would have them before a batch: used by the
// IDE process tests and by the batch benchmark (bench/batch), which run nightjar.exe in that folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

// Writes BASE.APP and an old BASE.EXE ("stale") into `folder` for each base name, and a fresh Apps
// there holding each application tagged, in the order given, with the folder as its DriveNPath.
// Returns "" on success, otherwise what went wrong. The folder must fit DriveNPath (80 characters
// with its final backslash).
std::string SeedTaggedApps(const std::filesystem::path& folder, const std::vector<std::string>& bases);

// An empty folder of its own in the temporary folder, named `prefix`, the process and a count, short
// enough for DriveNPath.
std::filesystem::path FreshTempFolder(const std::string& prefix);

// The whole of a file's bytes; "" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace test_support
