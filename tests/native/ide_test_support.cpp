// The IDE tests' backend, fixture and main-window host.
#include "ide_test_support.h"

#include <fstream>
#include <sstream>

#include "runtime/window.h"
#include "files/open_record_file.h"
#include "store/store_test_support.h"
#include "procedures/main_def.h"
#include "procedures/main_ide.h"
#include "procedures/program.h"

namespace ide_test {
namespace fs = std::filesystem;
namespace f = procedures::main_field;

class RecordingBackend::Peer final : public rt::WindowPeer {
 public:
  Peer(std::unique_ptr<rt::WindowPeer> inner, rt::Window& window, std::vector<std::string>& shown)
      : inner_(std::move(inner)), window_(window), shown_(shown) {}
  void Refresh(int field) override {
    inner_->Refresh(field);
    if (window_.definition().id != std::string("MAIN$WINDOW") || (field != 0 && field != f::LastAction)) return;
    const std::string& text = window_.state(f::LastAction).text;
    if (shown_.empty() || shown_.back() != text) shown_.push_back(text);
  }
  void Focus(int field) override { inner_->Focus(field); }
  int VisibleRows(int field) override { return inner_->VisibleRows(field); }
  void SetTimer(int hundredths) override { inner_->SetTimer(hundredths); }
  void TitleChanged() override { inner_->TitleChanged(); }
  bool WatchDirectory(const std::string& path) override { return inner_->WatchDirectory(path); }

 private:
  std::unique_ptr<rt::WindowPeer> inner_;
  rt::Window& window_;
  std::vector<std::string>& shown_;
};

std::unique_ptr<rt::WindowPeer> RecordingBackend::CreatePeer(rt::Window& window) {
  return std::make_unique<Peer>(inner_.CreatePeer(window), window, last_actions_);
}

void PrintTo(const LogLine& line, std::ostream* out) { *out << "{" << line.app << ", \"" << line.event << "\"}"; }

IdeTest::IdeTest() {
  previous_dir_ = fs::current_path();
  work_dir_ = store_test::FreshDirectory();
  fs::current_path(work_dir_);
  apps_dir_ = work_dir_ / "apps";
  fs::create_directory(apps_dir_);
  files_.store.timing.ordinary_wait_ms = 20;
  // The fake IDE writes each result when virtual time reaches it, and the folder's watchers hear
  // of it, as they would from the platform.
  ide_.SetScheduler([this](std::int64_t due) { backend_.headless().At(due, [this] { ide_.Pump(); }); });
  ide_.SetOnWritten([this](const std::string& path) {
    backend_.headless().ChangeDirectory(fs::path(path).parent_path().string());
  });
}

IdeTest::~IdeTest() {
  files_.Apps.Close();
  files_.TempFile.Close();
  fs::current_path(previous_dir_);
  std::error_code error;
  fs::remove_all(work_dir_, error);
}

void IdeTest::AddApp(const std::string& directory, const std::string& application, std::int16_t tag) {
  if (!files_.Apps.IsOpen()) files::OpenRecordFile(runtime_, files_, files_.Apps);
  files_.APP.DriveNPath = directory;
  files_.APP.Application = application;
  files_.APP.Tag = tag;
  files_.Apps.Add();
  ASSERT_EQ(files_.store.error.code, 0) << files_.store.error.text;
}

void IdeTest::Write(const fs::path& path, const std::string& text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

std::string IdeTest::Read(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

void IdeTest::RunWindow() {
  files_.Apps.Close();
  files::RaiseUseCount(runtime_, files_, files_.Apps);
  {
    rt::Window window(runtime_, procedures::kMainWindow);
    procedures::Services services{*dde_, starter_, *lister_};
    procedures::MainIde ide(window, state_, services, files_);
    ide.batch.Listen(outcome_listener_);
    ide.FirstAttempt();
    while (window.Accept()) {
      if (window.Kind() == rt::EventKind::OpenWindow) ide.Opened();
      if (window.Kind() == rt::EventKind::Timer) ide.Timer();
      if (window.Kind() == rt::EventKind::Accepted && ide.Accepted(window.Field()) == procedures::MainIde::Handled::kDone)
        ++rereads_;
    }
  }
  files::LowerUseCount(files_, files_.Apps);
}

std::vector<LogLine> IdeTest::Log() {
  std::vector<LogLine> lines;
  EXPECT_FALSE(files_.TempFile.IsOpen()) << "the batch left the log open";
  files_.TempFile.Open();
  if (files_.store.error.code != 0) {
    ADD_FAILURE() << "no log: " << files_.store.error.text;
    return lines;
  }
  files_.TempFile.Set(store::Order::File);
  for (files_.TempFile.Next(); files_.store.error.code == 0; files_.TempFile.Next()) {
    EXPECT_NE(files_.TMP.Date, 0) << files_.TMP.Event.str();
    lines.push_back({files_.TMP.Apps.str(), files_.TMP.Event.str()});
  }
  files_.TempFile.Close();
  // A batch's last record sums it up under no application's name; it is kept apart.
  summary_.clear();
  if (!lines.empty() && lines.back().app.empty() && lines.back().event.starts_with("Batch ended: ")) {
    summary_ = lines.back().event;
    lines.pop_back();
  }
  return lines;
}

std::string IdeTest::Boxes() const {
  std::string out;
  for (const rt::MessageBoxSpec& box : backend_.headless().boxes()) out += box.caption + ": " + box.text + "\n";
  return out;
}

}  // namespace ide_test
