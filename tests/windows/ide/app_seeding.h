// Seeding a folder with tagged applications, as a user would have them before a batch: used by the
// IDE process tests and by the batch benchmark (bench/batch), which run nightjar.exe in that folder.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "process_support.h"

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

// Starts the IDE stand-in (`standin_exe`) as the IDE is started: as CW20.exe, a copy in `folder`\ide,
// with its log in `log` and `settings` on its command line, and waits until it offers its service.
// Null, with `problem` saying why, when it did not come up.
std::unique_ptr<TestProcess> StartStandIn(const std::string& standin_exe, const std::filesystem::path& folder,
                                          const std::string& log, const std::string& settings, std::string& problem);

}  // namespace test_support
