// Main: the procedure the start-up calls; it keeps the main window open until the user closes it.
#pragma once

namespace procedures {

struct Program;

void Main(Program& program);

}  // namespace procedures
