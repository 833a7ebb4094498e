// Record text written into the console's XML-family reports (the JUnit report, the HTML page):
// one home for how code-page text becomes UTF-8 character data that a parser accepts.
#pragma once

#include <string>
#include <string_view>

namespace console {

// Code-page text as XML character data or an attribute value, in UTF-8: the five markup
// characters as entities, and the control characters that XML 1.0 does not allow shown as \xHH,
// as on a console (tabs and line breaks are kept).
std::string XmlEscaped(std::string_view text);

}  // namespace console
