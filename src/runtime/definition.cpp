// Helpers over window definitions shared by both backends.
#include "runtime/definition.h"

namespace rt {

std::string StripAmpersands(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') out += '&', ++i;
      continue;
    }
    out += text[i];
  }
  return out;
}

}  // namespace rt
