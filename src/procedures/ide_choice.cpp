// The main window's choice of IDE: see ide_choice.h.
#include "procedures/ide_choice.h"

#include <vector>

#include "files/app_path.h"
#include "platform/directory_lister.h"
#include "platform/file_access.h"
#include "procedures/kept_settings.h"
#include "procedures/main_def.h"
#include "runtime/runtime.h"
#include "runtime/window.h"

namespace procedures {
namespace {

namespace f = main_field;
using rt::EventKind;

constexpr const char* kCaption = "IDE Program";
constexpr const char* kLookupTitle = "Choose the IDE's Program";
constexpr const char* kLookupFilter = "Programs|*.exe";
constexpr const char* kLookupStart = "\\cw20";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

IdeProgramCheck Refused(std::string problem) { return {.path = "", .problem = std::move(problem)}; }

// A program named without a folder, looked for as Windows looks for one: in the current folder,
// in the running program's folder, then along PATH; by its name, and with ".EXE" when it has no
// extension of its own. Not found, the reason says where it was looked for.
IdeProgramCheck Search(const std::string& name, platform::DirectoryLister& lister) {
  const platform::DirectoryLister::ProgramFolders where = lister.ProgramSearch();
  std::vector<std::string> folders = {where.current, where.own};
  folders.insert(folders.end(), where.path.begin(), where.path.end());
  std::vector<std::string> names = {name};
  if (name.find('.') == std::string::npos) names.push_back(name + ".EXE");
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    for (const std::string& candidate : names) {
      std::vector<platform::DirectoryEntry> found;
      if (folder.size() + candidate.size() <= kIdeProgramWidth && lister.List(folder + candidate, found) == 0 &&
          !found.empty())
        return {.path = folder + found.front().name, .problem = ""};
    }
  }
  std::string looked = names.size() == 1 ? name : name + " and " + names[1];
  looked += " were looked for in the current folder (" + (where.current.empty() ? "unknown" : where.current) +
            "), in Nightjar's folder (" + (where.own.empty() ? "unknown" : where.own) + ") and in the " +
            std::to_string(where.path.size()) + (where.path.size() == 1 ? " folder" : " folders") +
            " of PATH; none is there. Give the IDE's program by its full path.";
  if (names.size() == 1) looked.replace(looked.find(" were "), 6, " was ");
  return Refused("The IDE's program " + looked);
}

}  // namespace

IdeProgramCheck CheckIdeProgram(std::string_view given, platform::DirectoryLister& lister) {
  const std::string path(Trim(given));
  if (path.empty()) return {};
  if (path.find_first_of("*?") != std::string::npos)
    return Refused(path + " cannot be used: a name with * or ? stands for many files, and a ? may also be a letter "
                          "that the records' code page (Windows-1252) cannot hold. Choose the program itself, or "
                          "its short (8.3) name.");
  std::string folder, name;
  platform::SplitFolder(path, folder, name);
  if (name.empty()) return Refused(path + " is a folder; choose the IDE's program in it.");
  if (std::string device; files::IsDeviceName(name, &device))
    return Refused(name + " is the name of the device " + device + ", not a program.");
  if (folder.empty() && name.find(':') == std::string::npos) return Search(name, lister);
  std::string absolute;
  if (!platform::file_access::FullFolderPath(folder, absolute))
    return Refused("The folder " + absolute + " holds characters that the records' code page (Windows-1252) "
                   "cannot hold, and the system gives it no short name. Choose the program by its short (8.3) path.");
  const std::string full = absolute + name;
  if (full.size() > kIdeProgramWidth)
    return Refused("The path of " + name + " is longer than " + std::to_string(kIdeProgramWidth) +
                   " characters; choose it by its short (8.3) path.");
  std::vector<platform::DirectoryEntry> found;
  if (lister.List(full, found) != 0 || found.empty())
    return Refused("The IDE's program " + full + " does not exist (or is not a file).");
  return {.path = full, .problem = ""};
}

IdeChoice::IdeChoice(rt::Window& window, ide::ConnectionState& state, platform::DirectoryLister& lister)
    : window_(window), state_(state), lister_(lister) {
  IDEProgram = state_.IDEProgram;
  window_.Bind(f::IDEs, state_.IDEs);
  window_.Bind(f::IDEProgram, IDEProgram);
}

bool IdeChoice::Take() {
  const EventKind kind = window_.Kind();
  switch (window_.Field()) {
    case f::IDEs:
      // The arrows give NewSelection, a number typed Accepted; the window has kept it in range.
      if (kind == EventKind::NewSelection || kind == EventKind::Accepted) KeepIdes(state_.IDEs);
      // Main has beeped and shown the number in use again.
      if (kind == EventKind::Rejected)
        window_.runtime().Message("The number of IDEs that make applications at once is 1 to " +
                                      std::to_string(ide::ConnectionState::kMaxIdes) + ".",
                                  "IDEs at Once", rt::BoxIcon::Exclamation, rt::ButtonOk);
      return true;
    case f::IDEProgram:
      if (kind == EventKind::Accepted && !window_.InAcceptAll()) Choose(IDEProgram.Trimmed());
      return true;
    case f::LookupIDE:
      if (kind == EventKind::Accepted) LookUp();
      return true;
    default:
      return false;
  }
}

// A program that cannot be used is refused with its reason, and the one in use stays.
void IdeChoice::Choose(std::string_view given) {
  const IdeProgramCheck check = CheckIdeProgram(given, lister_);
  if (!check.problem.empty()) {
    window_.runtime().Beep();
    window_.runtime().Message(check.problem + "\n\nThe IDE in use stays " +
                                  (state_.IDEProgram.empty() ? std::string("whichever answers.") : state_.IDEProgram + "."),
                              kCaption, rt::BoxIcon::Stop, rt::ButtonOk);
    IDEProgram = state_.IDEProgram;
    window_.Display(f::IDEProgram);
    window_.Select(f::IDEProgram);
    return;
  }
  IDEProgram = check.path;
  window_.Display(f::IDEProgram);
  if (check.path == state_.IDEProgram) return;
  state_.IDEProgram = check.path;
  KeepIdeProgram(state_.IDEProgram);
}

void IdeChoice::LookUp() {
  std::string start = state_.IDEProgram.empty() ? kLookupStart : state_.IDEProgram;
  if (auto chosen = window_.runtime().OpenFile(kLookupTitle, kLookupFilter, start)) Choose(*chosen);
}

}  // namespace procedures
