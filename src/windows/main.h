// Main: the procedure the start-up calls; it keeps the main window open until the user closes it.
#pragma once

namespace shell {
struct Program;
}

namespace windows {

void Main(shell::Program& program);

}  // namespace windows
