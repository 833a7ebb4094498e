// What the IDE connection and batch operation tests share: a backend that remembers every text the
// last-action field showed, a fixture with the fake IDE, the real directory lister on a fresh
// folder, the record files, and the main window with its IDE part wired as Main wires it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ide/batch_operations.h"
#include "ide/connection.h"
#include "platform/directory_lister.h"
#include "fake_ide.h"
#include "runtime/headless/headless_backend.h"
#include "runtime/runtime.h"
#include "files/files.h"

namespace ide_test {

// The headless backend, and a record of every distinct text the main window's last-action field
// showed, in order (a text shown twice in a row counts once).
class RecordingBackend final : public rt::Backend {
 public:
  rt::headless::HeadlessBackend& headless() { return inner_; }
  const rt::headless::HeadlessBackend& headless() const { return inner_; }
  rt::headless::Script& script() { return inner_.script(); }
  platform::VirtualClock& virtual_clock() { return inner_.virtual_clock(); }
  const std::vector<std::string>& last_actions() const { return last_actions_; }

  std::unique_ptr<rt::WindowPeer> CreatePeer(rt::Window& window) override;
  void WaitForInput(rt::Window& window) override { inner_.WaitForInput(window); }
  int Message(const rt::MessageBoxSpec& box) override { return inner_.Message(box); }
  std::optional<std::string> OpenFile(const rt::FileDialogSpec& dialog) override { return inner_.OpenFile(dialog); }
  int Popup(const std::string& definition) override { return inner_.Popup(definition); }
  void Beep() override { inner_.Beep(); }
  void SetBusyCursor(bool busy) override { inner_.SetBusyCursor(busy); }
  void SetWorkingCursor(bool working) override { inner_.SetWorkingCursor(working); }
  void SetProgramIcon(const char* icon) override { inner_.SetProgramIcon(icon); }
  [[noreturn]] void Halt(const std::string& text) override { inner_.Halt(text); }
  platform::Clock& clock() override { return inner_.clock(); }

 private:
  class Peer;
  rt::headless::HeadlessBackend inner_;
  std::vector<std::string> last_actions_;
};

// A DDE client in front of another that can report errors the fake IDE never makes on its own:
// codes of 600 and below.
class InjectingClient final : public platform::DdeClient {
 public:
  explicit InjectingClient(platform::DdeClient& inner) : inner_(inner) {}
  // The next command still reaches the IDE, but reports `code` and `text`.
  void FailNextExecute(std::int32_t code, std::string text) { next_ = Failure{code, std::move(text)}; }
  // Runs right after each command has reached the IDE, while the program still waits for the send.
  std::function<void()> during_send;

  platform::DdeChannel Connect(const std::string& service) override { return inner_.Connect(service); }
  platform::DdeCommand Send(platform::DdeChannel channel, const std::string& command) override {
    now_.reset();
    const platform::DdeCommand id = inner_.Send(channel, command);
    if (id != 0 && next_) injected_[id] = *next_;
    next_.reset();
    if (during_send) during_send();
    return id;
  }
  std::int32_t Answer(platform::DdeCommand command) override {
    const std::int32_t code = inner_.Answer(command);
    if (code == platform::kDdePending) return code;
    auto injected = injected_.find(command);
    if (injected == injected_.end()) return code;
    now_ = injected->second;
    injected_.erase(injected);
    return now_->code;
  }
  void Forget(platform::DdeCommand command) override { inner_.Forget(command); }
  void OnAnswer(std::function<void()> heard) override { inner_.OnAnswer(std::move(heard)); }
  void Execute(platform::DdeChannel channel, const std::string& command) override { inner_.Execute(channel, command); }
  bool Request(platform::DdeChannel channel, const std::string& item, std::string& value) override {
    return inner_.Request(channel, item, value);
  }
  bool ServerAlive(platform::DdeChannel channel) override { return inner_.ServerAlive(channel); }
  void Close(platform::DdeChannel channel) override { inner_.Close(channel); }
  void SetTimeOut(std::int32_t hundredths) override { inner_.SetTimeOut(hundredths); }
  std::int32_t LastError() override { return now_ ? now_->code : inner_.LastError(); }
  std::string LastErrorText() override { return now_ ? now_->text : inner_.LastErrorText(); }

 private:
  struct Failure {
    std::int32_t code;
    std::string text;
  };
  platform::DdeClient& inner_;
  std::map<platform::DdeCommand, Failure> injected_;
  std::optional<Failure> next_;
  std::optional<Failure> now_;
};

// One log record as the tests compare them.
struct LogLine {
  std::string app;
  std::string event;
  bool operator==(const LogLine&) const = default;
};
void PrintTo(const LogLine& line, std::ostream* out);

class IdeTest : public ::testing::Test {
 protected:
  IdeTest();
  ~IdeTest() override;

  // An Apps record, added in this order (the batch reads the file in stored order).
  void AddApp(const std::string& directory, const std::string& application, std::int16_t tag = 1);
  // A file with `text`, replacing any.
  static void Write(const std::filesystem::path& path, const std::string& text = "x");
  static std::string Read(const std::filesystem::path& path);
  // The applications' folder, with its separator at the end, as APP:DriveNPath holds it.
  std::string Dir() const { return apps_dir_.string() + "/"; }
  std::filesystem::path In(const std::string& name) const { return apps_dir_ / name; }

  // Runs the main window with its IDE part wired by procedures::MainIde, as Main does: the first
  // attempt before the first event, the warning on the open event, the six operations, Connect and
  // Disconnect; every application's outcome goes into outcomes_. Ends when the window closes; the
  // script must close it.
  void RunWindow();
  // The activity log in stored order (each record must carry a date), without the batch's last
  // record, the summary, which goes into summary_ ("" when there is none).
  std::vector<LogLine> Log();
  // The message boxes shown, as "caption: text" lines.
  std::string Boxes() const;
  const std::vector<rt::MessageBoxSpec>& boxes() const { return backend_.headless().boxes(); }
  rt::headless::Script& script() { return backend_.script(); }

  std::filesystem::path work_dir_;
  std::filesystem::path previous_dir_;
  std::filesystem::path apps_dir_;
  RecordingBackend backend_;
  rt::Runtime runtime_{backend_};
  platform::VirtualClock& clock_ = backend_.virtual_clock();
  doubles::FakeIde ide_{clock_};
  doubles::FakeProgramStarter starter_;
  std::unique_ptr<platform::DirectoryLister> lister_ = platform::MakeDirectoryLister();
  platform::DdeClient* dde_ = &ide_;  // what the host's connection talks to
  files::Files files_;
  ide::ConnectionState state_;
  int rereads_ = 0;  // calls of the list's RereadSelected
  std::string summary_;
  std::vector<ide::ApplicationOutcome> outcomes_;

 private:
  struct OutcomeListener final : ide::BatchObserver {
    explicit OutcomeListener(std::vector<ide::ApplicationOutcome>& outcomes) : outcomes(outcomes) {}
    void Ended(const ide::ApplicationOutcome& outcome) override { outcomes.push_back(outcome); }
    std::vector<ide::ApplicationOutcome>& outcomes;
  } outcome_listener_{outcomes_};
};

}  // namespace ide_test
