// The entry point of nightjar.com: the console backend with the system's waiter, the platform's
// services (the DDE client, the program starter, the directory lister), and the command from the arguments.
// Arguments come in converted to the records' code page; everything printed goes out converted
// from it (to the console's characters, or UTF-8 into a file or a pipe).
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "console/console_command.h"
#include "console/console_runner.h"
#include "platform/code_page.h"
#include "platform/directory_lister.h"
#include "platform/program_starter.h"
#include "platform/win32/dde_message_client.h"
#include "runtime/console/console_backend.h"
#include "runtime/runtime.h"
#include "procedures/program.h"

namespace {

// A standard stream that takes code-page text and writes it a line at a time (and at each flush),
// converted.
class StandardStream final : public std::streambuf {
 public:
  explicit StandardStream(int stream) : stream_(stream) {}
  ~StandardStream() override { sync(); }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    buffer_ += traits_type::to_char_type(c);
    if (c == '\n') sync();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    buffer_.append(text, static_cast<std::size_t>(count));
    if (buffer_.find('\n') != std::string::npos) sync();
    return count;
  }
  int sync() override {
    if (buffer_.empty()) return 0;
    bool written = platform::WriteStandard(stream_, buffer_);
    buffer_.clear();
    return written ? 0 : -1;
  }

 private:
  int stream_;
  std::string buffer_;
};

int Main(int argc, char** argv, std::ostream& out, std::ostream& err) {
  std::vector<std::string> arguments;
  std::string refused;
  if (!platform::ProgramArguments(argc, argv, arguments, refused)) {
    std::string shown;
    platform::FromUtf8(refused, shown);
    err << "nightjar: the argument \"" << shown << "\" holds characters that the records' code page "
        << "(Windows-1252) cannot hold, and the system gives it no short name.\n";
    return console::kExitCannotRun;
  }
  console::Parsed parsed = console::ParseCommand(arguments);
  if (!parsed.command) {
    err << "nightjar: " << parsed.error << "\n\n" << console::Usage();
    return console::kExitCannotRun;
  }
  auto waiter = rt::console::MakeSystemWaiter();
  rt::console::ConsoleBackend backend(*waiter, err, parsed.command->yes);
  rt::Runtime runtime(backend);
  auto dde = platform::MakeDdeMessageClient();
  auto starter = platform::MakeProgramStarter();
  auto lister = platform::MakeDirectoryLister();
  procedures::Services services{*dde, *starter, *lister};
  try {
    return console::RunCommand(*parsed.command, runtime, services, out, err);
  } catch (const rt::console::Halted& halted) {
    // The backend has said why; what can be done about it follows.
    err << console::HaltAdvice(halted.text);
    return console::kExitCannotRun;
  }
}

}  // namespace

int main(int argc, char** argv) {
  StandardStream out_buffer(1), err_buffer(2);
  std::ostream out(&out_buffer), err(&err_buffer);
  int code = Main(argc, argv, out, err);
  out.flush();
  err.flush();
  return code;
}
