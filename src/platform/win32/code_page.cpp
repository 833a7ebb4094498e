// The code page on Windows: the system's own conversions for code page 1252, whatever code page
// the system runs in, with no best-fit look-alikes and the used-default flag telling of a character
// that has no place. The arguments come from the wide command line.
#include <windows.h>
#include <shellapi.h>

#include "platform/code_page.h"

namespace platform {
namespace {

constexpr UINT kCodePage = 1252;

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The short form of the existing path `wide`, in the code page; false when there is none that fits.
bool ShortForm(const std::u16string& wide, std::string& out) {
  wchar_t buffer[32768];
  DWORD length = GetShortPathNameW(Wide(wide), buffer, 32768);
  if (length == 0 || length >= 32768) return false;
  return FromUtf16(std::u16string(reinterpret_cast<const char16_t*>(buffer), length), out);
}

}  // namespace

std::u16string ToUtf16(std::string_view text) {
  if (text.empty()) return {};
  int length = MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(static_cast<std::size_t>(length), u'\0');
  MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(out.data()),
                      length);
  return out;
}

bool FromUtf16(std::u16string_view text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  // A character beyond the 16-bit range (a surrogate pair) has no place either way; as one
  // character it shows as one "?", as it does on every platform.
  std::u16string single;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    single += pair ? u'\xFFFD' : text[i];
    if (pair) ++i;
  }
  text = single;
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  BOOL used_default = FALSE;
  int length = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, static_cast<int>(text.size()), nullptr, 0,
                                   "?", &used_default);
  out.resize(static_cast<std::size_t>(length));
  used_default = FALSE;
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, static_cast<int>(text.size()), out.data(), length, "?",
                      &used_default);
  return !used_default;
}

bool NameFromUtf16(std::u16string_view text, std::string& out) {
  const std::u16string name(text);
  if (FromUtf16(name, out) || ShortForm(name, out)) return true;
  // A pattern: its folder by its short form, its name part as given.
  std::size_t separator = name.find_last_of(u"\\/");
  std::string folder, rest;
  if (separator != std::u16string::npos && ShortForm(name.substr(0, separator + 1), folder) &&
      FromUtf16(name.substr(separator + 1), rest)) {
    if (!folder.empty() && folder.back() != '\\' && folder.back() != '/') folder += '\\';
    out = folder + rest;
    return true;
  }
  FromUtf16(name, out);
  return false;
}

bool ProgramArguments(int, char**, std::vector<std::string>& arguments, std::string& refused) {
  arguments.clear();
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return false;
  bool all = true;
  for (int i = 1; i < count && all; ++i) {
    std::u16string argument(reinterpret_cast<const char16_t*>(wide[i]));
    std::string converted;
    if (!NameFromUtf16(argument, converted)) {
      refused = Utf16ToUtf8(argument);
      all = false;
      break;
    }
    arguments.push_back(std::move(converted));
  }
  LocalFree(wide);
  return all;
}

bool WriteStandard(int stream, std::string_view text) {
  HANDLE handle = GetStdHandle(stream == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    std::u16string wide = ToUtf16(text);
    DWORD written = 0;
    return WriteConsoleW(handle, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr) != 0;
  }
  std::string bytes;
  for (char c : ToUtf8(text)) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr) ||
        written == 0)
      return false;
    done += written;
  }
  return true;
}

}  // namespace platform
