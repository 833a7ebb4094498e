// Parser for list column format strings, e.g. "88L|~Drive & Path~S(88)@s80@".
#include "runtime/list_format.h"

#include <cctype>

namespace rt {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}
  bool AtEnd() const { return pos_ >= s_.size(); }
  char Peek() const { return AtEnd() ? '\0' : s_[pos_]; }
  char Take() { return AtEnd() ? '\0' : s_[pos_++]; }
  bool Number(int& value) {
    std::size_t start = pos_;
    value = 0;
    while (!AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) value = value * 10 + (Take() - '0');
    return pos_ > start;
  }
  // "(n)" if it stands here.
  bool Parenthesised(int& value) {
    if (Peek() != '(') return true;
    Take();
    return Number(value) && Take() == ')';
  }
  bool Until(char end, std::string& out) {
    while (!AtEnd() && Peek() != end) out += Take();
    return Take() == end;
  }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

bool AlignOf(char c, Align& align) {
  switch (std::toupper(static_cast<unsigned char>(c))) {
    case 'L': align = Align::Left; return true;
    case 'R': align = Align::Right; return true;
    case 'C': align = Align::Center; return true;
    case 'D': align = Align::Decimal; return true;
    default: return false;
  }
}

}  // namespace

std::optional<std::vector<ColumnFormat>> ParseListFormat(std::string_view format) {
  std::vector<ColumnFormat> columns;
  Reader r(format);
  while (!r.AtEnd()) {
    ColumnFormat col;
    if (!r.Number(col.width) || !AlignOf(r.Take(), col.align) || !r.Parenthesised(col.indent))
      return std::nullopt;
    bool done = false;
    while (!done) {
      switch (r.Take()) {
        case '*': col.colours = true; break;
        case 'I': col.icon = true; break;
        case '|': col.right_border = true; break;
        case 'M': case '_': case 'F': case 'Y': case 'Z': break;  // resizable, underline, etc.: shown plainly
        case '~':
          if (!r.Until('~', col.header)) return std::nullopt;
          if (AlignOf(r.Peek(), col.header_align)) {
            r.Take();
            if (!r.Parenthesised(col.header_indent)) return std::nullopt;
          } else {
            col.header_align = col.align;
          }
          break;
        case 'S':
          if (r.Take() != '(' || !r.Number(col.scroll_width) || r.Take() != ')') return std::nullopt;
          break;
        case '@':
          col.picture.assign(1, '@');  // the picture keeps its leading "@"
          if (!r.Until('@', col.picture)) return std::nullopt;
          done = true;
          break;
        default:
          return std::nullopt;
      }
    }
    columns.push_back(std::move(col));
  }
  return columns;
}

}  // namespace rt
