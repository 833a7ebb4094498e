// The console backend (see console_backend.h) and the virtual waiter its tests use.
#include "runtime/console/console_backend.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "runtime/model_peer.h"
#include "runtime/window.h"

namespace rt::console {
namespace {

// The box on one line; CR LF counts as one line break. A box may carry text that another program
// wrote (the activity log's holder), so its other control characters are escaped.
std::string BoxLine(const MessageBoxSpec& box) {
  std::string text = box.text;
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, " ");
  std::replace(text.begin(), text.end(), '\r', ' ');
  std::replace(text.begin(), text.end(), '\n', ' ');
  return (box.caption.empty() ? std::string() : box.caption + ": ") + ControlsEscaped(text);
}

// Nobody is there to answer, so the box gets the answer that does least, unless the caller
// confirmed in advance.
int UnattendedAnswer(int buttons, bool confirm) {
  if (confirm && (buttons & ButtonYes)) return ButtonYes;
  for (int flag : {ButtonNo, ButtonCancel, ButtonOk})
    if (buttons & flag) return flag;
  for (int flag = ButtonOk; flag <= ButtonCancel; flag <<= 1)
    if (buttons & flag) return flag;
  return ButtonOk;
}

}  // namespace

std::string ControlsEscaped(std::string_view text, std::string_view kept) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool control = byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F ||
                         byte == 0x90 || byte == 0x9D;
    if (!control || kept.find(c) != std::string_view::npos) {
      out += c;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    out += escaped;
  }
  return out;
}

// --- VirtualWaiter --------------------------------------------------------------------------

VirtualWaiter::VirtualWaiter() : clock_(MakeVirtualClock()) {}

void VirtualWaiter::At(std::int64_t ticks, std::function<void()> action) { alarms_.At(ticks, std::move(action)); }

void VirtualWaiter::Changed(const std::string& folder) {
  std::string key = FolderKey(folder);
  if (std::find(changed_.begin(), changed_.end(), key) == changed_.end()) changed_.push_back(key);
}

bool VirtualWaiter::TakeChange(const std::string& folder) {
  if (folder.empty()) return false;
  auto it = std::find(changed_.begin(), changed_.end(), FolderKey(folder));
  if (it == changed_.end()) return false;
  changed_.erase(it);
  return true;
}

bool VirtualWaiter::WaitUntil(std::int64_t until, const std::string& folder) {
  for (;;) {
    if (TakeChange(folder)) return true;
    // Alarms due by `until` run first, even on a tie, so that what they do is seen at that tick.
    if (alarms_.DueBy(until)) {
      alarms_.RunNext(clock_);
      continue;
    }
    if (clock_.Ticks() >= until) return false;
    if (until == kNever)
      throw std::logic_error("waiting for ever on folder \"" + folder +
                             "\": no alarm is left and no change is marked");
    clock_.Advance(until - clock_.Ticks());
    return false;
  }
}

// --- Peer -----------------------------------------------------------------------------------

class ConsoleBackend::Peer final : public ModelPeer {
 public:
  Peer(ConsoleBackend& backend, Window& window) : ModelPeer(window, backend.clock()), backend_(backend) {
    backend_.peers_.push_back(this);
  }
  ~Peer() override {
    auto& peers = backend_.peers_;
    peers.erase(std::remove(peers.begin(), peers.end(), this), peers.end());
  }

 private:
  ConsoleBackend& backend_;
};

// --- Backend --------------------------------------------------------------------------------

ConsoleBackend::ConsoleBackend(Waiter& waiter, std::ostream& messages, bool confirm)
    : waiter_(waiter), messages_(messages), confirm_(confirm) {}

ConsoleBackend::~ConsoleBackend() = default;

std::unique_ptr<WindowPeer> ConsoleBackend::CreatePeer(Window& window) {
  return std::make_unique<Peer>(*this, window);
}

void ConsoleBackend::WaitForInput(Window& window) {
  Peer* own = nullptr;
  for (Peer* p : peers_)
    if (&p->window() == &window) own = p;
  while (!window.HasEvents() && !window.IsClosed()) {
    if (!own || (own->next_tick() < 0 && own->watched().empty())) {
      window.UserClose();
      return;
    }
    // Every open window's timer keeps running while the top one takes the input, as on screen.
    std::int64_t due = Waiter::kNever;
    for (Peer* p : peers_)
      if (p->next_tick() >= 0) due = std::min(due, p->next_tick());
    if (waiter_.WaitUntil(due, own->watched())) window.DirectoryChanged();
    const std::int64_t now = waiter_.clock().Ticks();
    // A copy: the list must not change under the loop.
    std::vector<Peer*> peers = peers_;
    for (Peer* p : peers) {
      if (p->next_tick() < 0 || p->next_tick() > now) continue;
      p->window().TimerTick();
      // A real clock may have run past several periods (the machine slept): one event for them all.
      p->TimerFired(now);
    }
  }
}

int ConsoleBackend::Message(const MessageBoxSpec& box) {
  boxes_.push_back(box);
  messages_ << BoxLine(box) << '\n' << std::flush;
  return UnattendedAnswer(box.buttons, confirm_);
}

void ConsoleBackend::Halt(const std::string& text) {
  messages_ << text << '\n' << std::flush;
  throw Halted(text);
}

}  // namespace rt::console
