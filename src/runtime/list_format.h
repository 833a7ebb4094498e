// The column format string of a list control, parsed into columns: width, alignment and indent of
// data and header, header text, picture, icon and colour columns, a right border line, and a column's
// own horizontal scroll width. Read by both backends to lay out and fill list controls.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

enum class Align { Left, Right, Center, Decimal };

struct ColumnFormat {
  int width = 0;  // dialog units
  Align align = Align::Left;
  int indent = 0;
  std::string header;
  Align header_align = Align::Left;
  int header_indent = 0;
  std::string picture;  // "@s80"
  bool icon = false;     // the row supplies an icon for this column
  bool colours = false;  // the row supplies the cell's colours
  bool right_border = false;
  int scroll_width = 0;  // > 0: the column scrolls sideways over this data width
};

// Parses a column format such as "48L(1)~Application~L(2)@s12@". nullopt when the text is malformed.
std::optional<std::vector<ColumnFormat>> ParseListFormat(std::string_view format);

}  // namespace rt
