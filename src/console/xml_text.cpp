// Record text for the console's XML-family reports: see xml_text.h.
#include "console/xml_text.h"

#include "platform/code_page.h"
#include "runtime/console/console_backend.h"

namespace console {

std::string XmlEscaped(std::string_view text) {
  std::string out;
  for (char c : rt::console::ControlsEscaped(text, "\t\n\r")) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return platform::ToUtf8(out);
}

}  // namespace console
