// Which IDE the batches use and how many at once: the main window's "IDE:" field with its "..."
// lookup and its "IDEs at once:" spin box, bound to the connection state, checked and kept as the
// user sets them. The check of a program's path is shared with nightjar.com's --ide.
#pragma once

#include <string>
#include <string_view>

#include "ide/connection.h"
#include "platform/fixed_string.h"

namespace platform {
class DirectoryLister;
}
namespace rt {
class Window;
}

namespace procedures {

// A whole Windows path (MAX_PATH with its NUL): the longest IDE program path taken.
inline constexpr std::size_t kIdeProgramWidth = 259;

// An IDE program's path as given, checked.
struct IdeProgramCheck {
  std::string path;     // its full path when it can be used; "" when none was given (any IDE)
  std::string problem;  // why it cannot be used, a sentence or two for the user; "" when it can
};

// `given` (a full path, a path from the current folder, or a program's bare name, which is looked
// for as Windows looks: the current folder, Nightjar's own folder, then PATH, with ".EXE" added
// when it has no extension; blanks around it ignored) must name an existing file by a path the
// records' code page holds; a bare name not found says where it was looked for: a "?" (a letter the code page lacks,
// where the system gave no short name) or "*" is refused, and so are a folder, a device's name
// and a path longer than kIdeProgramWidth. Blank is no program: any IDE, as before.
IdeProgramCheck CheckIdeProgram(std::string_view given, platform::DirectoryLister& lister);

class IdeChoice {
 public:
  // `window` is MAIN$WINDOW; `state` holds the values to show (the kept ones), and the user's
  // choices go there. Both outlive this object.
  IdeChoice(rt::Window& window, ide::ConnectionState& state, platform::DirectoryLister& lister);

  // The window's current event, after Main's handling by kind: true when it was one of the
  // choice's controls (a changed count is kept, a program checked and kept or refused with a
  // message, an out-of-range count refused with a message).
  bool Take();

 private:
  void Choose(std::string_view given);
  void LookUp();

  rt::Window& window_;
  ide::ConnectionState& state_;
  platform::DirectoryLister& lister_;
  // What the field shows; state_.IDEProgram holds the program in use.
  platform::FixedString<kIdeProgramWidth> IDEProgram;
};

}  // namespace procedures
