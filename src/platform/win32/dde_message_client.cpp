// The DdeClient on plain DDE messages (dde_message_client.h).
//
// One message-only window per client takes every answer. A connect sends WM_DDE_INITIATE (the
// service's atom, no topic: any topic) to the top-level windows, of every process or of the one
// chosen; each server window that acknowledges opens a conversation, known by that window. A
// command goes out as WM_DDE_EXECUTE with the text in a shared global block, and its answer is the
// WM_DDE_ACK from that server that brings that very block back, so an answer that comes after its
// command was forgotten is told apart from the next command's. A command is known by its number
// from then on: once its block is freed, the next command may be given the same handle. Requests go out as WM_DDE_REQUEST for CF_TEXT and are
// answered by WM_DDE_DATA, or by a negative WM_DDE_ACK for the item. Either side ends a
// conversation with WM_DDE_TERMINATE, which the other side answers in kind.
//
// Who frees what: the client frees each command's block when its acknowledgement brings it back,
// deletes the atoms of the acknowledgements to a connect, and of the item answers (unless it
// passes the atom back in its own acknowledgement of the data), and frees the data block when the
// server asked it to (fRelease) and it accepts the data. Whatever a failed post would have handed
// over stays the sender's to free.
#include "platform/win32/dde_message_client.h"

#include <windows.h>
#include <dde.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace platform {
namespace {

constexpr wchar_t kWindowClass[] = L"NightjarDdeMessageClient";

// How long one top-level window may take to answer a connect. A process whose window does not
// answer in that time (an IDE busy with a make) is not asked again within the same connect.
constexpr UINT kInitiateWaitMs = 500;
// How long a client that goes away waits for its servers to answer the end of their conversations.
constexpr DWORD kTerminateWaitMs = 500;
// How often a wait for an answer looks whether the server's window is still there.
constexpr DWORD kLookEveryMs = 100;

constexpr WORD kAckAccepted = 0x8000;  // DDEACK fAck
constexpr WORD kAckBusy = 0x4000;      // DDEACK fBusy

std::string AtomName(ATOM atom) {
  char name[256] = {};
  UINT length = atom != 0 ? GlobalGetAtomNameA(atom, name, sizeof name) : 0;
  return std::string(name, length);
}

bool SameItem(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                                                b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

class DdeMessageClient final : public DdeClient {
 public:
  DdeMessageClient() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW type{};
    type.lpfnWndProc = WindowProc;
    type.hInstance = instance;
    type.lpszClassName = kWindowClass;
    RegisterClassW(&type);  // fails harmlessly when an earlier client registered it
    window_ = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr);
    if (window_ != nullptr) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  ~DdeMessageClient() override {
    for (auto& [channel, conversation] : channels_) Close(channel);
    if (window_ == nullptr) return;
    // The servers answer the end of their conversations; one still busy with a command that timed
    // out would answer only when done, so it is not waited for: it finds the window gone.
    const DWORD start = GetTickCount();
    while (AwaitingTerminations() && GetTickCount() - start < kTerminateWaitMs) {
      MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_POSTMESSAGE | QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
      MSG msg;
      while (PeekMessageW(&msg, window_, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }

  std::vector<DdeServer> Servers(const std::string& service) override {
    std::vector<DdeServer> servers;
    for (const InitiateAnswer& answer : Initiate(service, 0)) {
      bool known = false;
      for (const DdeServer& server : servers) known = known || server.process_id == answer.process;
      if (!known) servers.push_back(DdeServer{answer.process, ProcessProgram(answer.process)});
      Terminate(answer.server);
    }
    return servers;
  }

  DdeChannel Connect(const std::string& service) override { return Open(service, Initiate(service, 0)); }

  DdeChannel ConnectTo(const std::string& service, std::uint32_t process_id) override {
    if (process_id == 0) return 0;
    return Open(service, Initiate(service, process_id));
  }

  bool ProcessRunning(std::uint32_t process_id) override {
    if (process_id == 0) return true;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
    // A process that no longer exists cannot be opened; one that exited but is still held open
    // by someone is signalled.
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
  }

  std::uint32_t ServerProcess(DdeChannel channel) override {
    Conversation* conversation = Find(channel);
    return conversation != nullptr && conversation->open ? conversation->process : 0;
  }

  DdeCommand Send(DdeChannel channel, const std::string& command) override {
    detail_.clear();
    Conversation* conversation = Find(channel);
    if (conversation == nullptr) {
      last_error_ = kDdeInvalidChannel;
      return 0;
    }
    if (!Usable(*conversation)) {
      last_error_ = kDdeChannelNotOpen;
      return 0;
    }
    // The server expects the text with its terminating zero.
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, command.size() + 1);
    char* text = block != nullptr ? static_cast<char*>(GlobalLock(block)) : nullptr;
    if (text == nullptr) {
      if (block != nullptr) GlobalFree(block);
      Fail(kDdeSystemError, "no memory for the command");
      return 0;
    }
    std::memcpy(text, command.c_str(), command.size() + 1);
    GlobalUnlock(block);
    const HWND server = conversation->server;
    if (!PostMessageW(server, WM_DDE_EXECUTE, reinterpret_cast<WPARAM>(window_), reinterpret_cast<LPARAM>(block))) {
      GlobalFree(block);
      if (IsWindow(server)) {
        Fail(kDdeSystemError, "the command could not be posted");
      } else {
        last_error_ = kDdeChannelNotOpen;
      }
      return 0;
    }
    const DdeCommand id = next_command_++;
    executes_[id] = PendingExecute{block, server, channel, true, false, 0};
    last_error_ = kDdeNoError;
    return id;
  }

  std::int32_t Answer(DdeCommand command) override {
    auto pending = executes_.find(command);
    if (pending == executes_.end() || !pending->second.awaited) return kDdeInvalidChannel;
    PendingExecute& execute = pending->second;
    std::int32_t code = kDdePending;
    if (execute.answered) {
      const WORD status = execute.status;
      code = (status & kAckAccepted) != 0 ? kDdeNoError : (status & kAckBusy) != 0 ? kDdeServerBusy : kDdeNotProcessed;
      executes_.erase(pending);
    } else if (Conversation* conversation = Find(execute.channel);
               conversation == nullptr || conversation->ended || !IsWindow(execute.server)) {
      code = kDdeChannelNotOpen;
      Drop(pending);
    }
    if (code != kDdePending) {
      detail_.clear();
      last_error_ = code;
    }
    return code;
  }

  void Forget(DdeCommand command) override {
    auto pending = executes_.find(command);
    if (pending != executes_.end() && pending->second.awaited) Drop(pending);
  }

  void OnAnswer(std::function<void()> heard) override { heard_ = std::move(heard); }

  void Execute(DdeChannel channel, const std::string& command) override {
    const DdeCommand id = Send(channel, command);
    if (id == 0) return;
    std::int32_t code = kDdePending;
    const WaitEnd end = Wait(channel, [&] {
      if (code == kDdePending) code = Answer(id);
      return code != kDdePending;
    });
    if (end == WaitEnd::kTimeOut && code == kDdePending) {
      Forget(id);
      last_error_ = kDdeTimeOut;
    } else if (code == kDdePending) {
      Answer(id);  // the server is gone: the answer says so
    }
  }

  bool Request(DdeChannel channel, const std::string& item, std::string& value) override {
    value.clear();
    Conversation* conversation = Find(channel);
    if (conversation == nullptr || !Usable(*conversation) || request_.active) return false;
    // Each request goes out on a conversation of its own with the same server, ended once answered:
    // a DDEML server sends more acknowledgements after its answer than the protocol has, and on a
    // conversation that goes on they could be taken for the answer to the next request of the same
    // item. A server too busy to take a new conversation gets the request on the channel itself.
    DdeChannel asked = ConnectTo(conversation->service, conversation->process);
    if (asked == 0) asked = channel;
    const bool answered = Ask(asked, item, value);
    if (asked != channel) {
      Close(asked);
      channels_.erase(asked);
    }
    return answered;
  }

  bool ServerAlive(DdeChannel channel) override {
    Conversation* conversation = Find(channel);
    return conversation != nullptr && Usable(*conversation);
  }

  void Close(DdeChannel channel) override {
    Conversation* conversation = Find(channel);
    if (conversation == nullptr || !conversation->open) return;
    conversation->open = false;
    if (!conversation->ended) Terminate(conversation->server);
  }

  void SetTimeOut(std::int32_t hundredths) override { time_out_ = hundredths < 1 ? 1 : hundredths; }

  std::int32_t LastError() override { return last_error_; }

  std::string LastErrorText() override {
    std::string text = DdeErrorText(last_error_);
    if (last_error_ != kDdeNoError && !detail_.empty()) text += " (" + detail_ + ")";
    return text;
  }

 private:
  struct Conversation {
    std::string service;
    HWND server = nullptr;
    DWORD process = 0;
    bool open = true;    // not closed by us
    bool ended = false;  // the server ended it, or was sent our end
  };
  // A server window that acknowledged a connect.
  struct InitiateAnswer {
    HWND server;
    DWORD process;
  };
  struct PendingExecute {
    HGLOBAL block;  // the command's text; nullptr once its answer brought it back and it was freed
    HWND server;
    DdeChannel channel;
    bool awaited;   // a caller still asks for the answer; otherwise only the block is waited for
    bool answered;
    WORD status;    // the server's DDEACK flags
  };
  struct PendingRequest {
    bool active = false;
    HWND server = nullptr;
    std::string item;
    bool answered = false;
    bool accepted = false;
    std::string value;
  };
  enum class WaitEnd { kAnswered, kTimeOut, kServerGone };

  // Requests `item` as text on `channel` and waits for the answer.
  bool Ask(DdeChannel channel, const std::string& item, std::string& value) {
    const HWND server = Find(channel)->server;
    ATOM atom = GlobalAddAtomA(item.c_str());
    if (atom == 0) return false;
    request_ = PendingRequest{true, server, item, false, false, ""};
    if (!PostMessageW(server, WM_DDE_REQUEST, reinterpret_cast<WPARAM>(window_), MAKELPARAM(CF_TEXT, atom))) {
      GlobalDeleteAtom(atom);
      request_.active = false;
      return false;
    }
    Wait(channel, [&] { return request_.answered; });
    request_.active = false;
    if (!request_.answered || !request_.accepted) return false;
    value = request_.value;
    return true;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* client = reinterpret_cast<DdeMessageClient*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (client != nullptr && message >= WM_DDE_FIRST && message <= WM_DDE_LAST) {
      const HWND from = reinterpret_cast<HWND>(wparam);
      switch (message) {
        case WM_DDE_ACK:
          if (client->initiating_ && InSendMessage()) {
            client->OnInitiateAck(from, lparam);
          } else {
            client->OnAck(from, lparam);
          }
          return 0;
        case WM_DDE_DATA:
          client->OnData(from, lparam);
          return 0;
        case WM_DDE_TERMINATE:
          client->OnTerminate(from);
          return 0;
        default:
          break;
      }
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  // Sends the connect to the top-level windows (of `process_id` only, unless 0) and returns the
  // server windows that acknowledged it, in the order they did. Each of them now holds a
  // conversation with this client, which the caller keeps or ends.
  std::vector<InitiateAnswer> Initiate(const std::string& service, DWORD process_id) {
    std::vector<InitiateAnswer> answers;
    if (window_ == nullptr || service.empty()) return answers;
    ATOM application = GlobalAddAtomA(service.c_str());
    if (application == 0) return answers;

    struct Listing {
      DWORD process;
      std::vector<HWND> windows;
    } listing{process_id, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
          auto* listing = reinterpret_cast<Listing*>(data);
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if (owner != GetCurrentProcessId() && (listing->process == 0 || owner == listing->process))
            listing->windows.push_back(window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&listing));

    std::set<DWORD> unanswering;
    initiating_ = true;
    initiate_answers_.clear();
    for (HWND window : listing.windows) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (unanswering.count(owner) != 0) continue;
      DWORD_PTR result = 0;
      SetLastError(0);
      if (SendMessageTimeoutW(window, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window_), MAKELPARAM(application, 0),
                              SMTO_ABORTIFHUNG, kInitiateWaitMs, &result) == 0 &&
          GetLastError() == ERROR_TIMEOUT) {
        unanswering.insert(owner);
      }
    }
    initiating_ = false;
    GlobalDeleteAtom(application);
    for (HWND server : initiate_answers_) {
      DWORD owner = 0;
      GetWindowThreadProcessId(server, &owner);
      if (process_id == 0 || owner == process_id) {
        answers.push_back(InitiateAnswer{server, owner});
      } else {
        Terminate(server);
      }
    }
    initiate_answers_.clear();
    return answers;
  }

  // Keeps the first conversation and ends the others; 0 when there is none.
  DdeChannel Open(const std::string& service, const std::vector<InitiateAnswer>& answers) {
    if (answers.empty()) return 0;
    for (std::size_t i = 1; i < answers.size(); ++i) Terminate(answers[i].server);
    DdeChannel channel = next_channel_++;
    Conversation conversation;
    conversation.service = service;
    conversation.server = answers.front().server;
    conversation.process = answers.front().process;
    channels_[channel] = conversation;
    return channel;
  }

  void OnInitiateAck(HWND server, LPARAM lparam) {
    // The server made both atoms for us; they are ours to delete.
    GlobalDeleteAtom(LOWORD(lparam));
    GlobalDeleteAtom(HIWORD(lparam));
    if (server != nullptr) initiate_answers_.push_back(server);
  }

  void OnAck(HWND from, LPARAM lparam) {
    UINT_PTR low = 0;
    UINT_PTR high = 0;
    if (!UnpackDDElParam(WM_DDE_ACK, lparam, &low, &high)) return;
    FreeDDElParam(WM_DDE_ACK, lparam);
    const WORD status = static_cast<WORD>(low);
    for (auto execute = executes_.begin(); execute != executes_.end(); ++execute) {
      PendingExecute& sent = execute->second;
      if (sent.block == nullptr || sent.block != reinterpret_cast<HGLOBAL>(high) || sent.server != from) continue;
      // A command's answer brings its block back.
      GlobalFree(sent.block);
      sent.block = nullptr;
      if (!sent.awaited) {
        executes_.erase(execute);
        return;
      }
      sent.answered = true;
      sent.status = status;
      if (heard_) heard_();
      return;
    }
    // Otherwise it may answer a request for an item: only negatively, as the data comes instead of
    // a positive answer. (A DDEML server follows the acknowledgement of its data with a positive
    // acknowledgement of its own, which answers nothing.)
    const ATOM item = static_cast<ATOM>(high);
    if (request_.active && !request_.answered && from == request_.server && (status & kAckAccepted) == 0 &&
        SameItem(AtomName(item), request_.item)) {
      GlobalDeleteAtom(item);
      request_.answered = true;
      request_.accepted = false;
    }
    // An acknowledgement that answers nothing pending (a repeat of one already taken) is dropped;
    // its atom, if it is one, is not known to be ours.
  }

  void OnData(HWND from, LPARAM lparam) {
    UINT_PTR low = 0;
    UINT_PTR high = 0;
    if (!UnpackDDElParam(WM_DDE_DATA, lparam, &low, &high)) return;
    FreeDDElParam(WM_DDE_DATA, lparam);
    const HGLOBAL data = reinterpret_cast<HGLOBAL>(low);
    const ATOM item = static_cast<ATOM>(high);
    const bool wanted =
        request_.active && !request_.answered && from == request_.server && SameItem(AtomName(item), request_.item);
    bool accepted = false;
    bool release = false;
    bool ack_requested = false;
    if (data != nullptr) {
      const SIZE_T size = GlobalSize(data);
      if (auto* contents = static_cast<DDEDATA*>(GlobalLock(data))) {
        release = contents->fRelease != 0;
        ack_requested = contents->fAckReq != 0;
        if (wanted && contents->cfFormat == CF_TEXT && size >= offsetof(DDEDATA, Value)) {
          const char* text = reinterpret_cast<const char*>(contents->Value);
          const std::size_t room = size - offsetof(DDEDATA, Value);
          request_.value.assign(text, strnlen(text, room));
          accepted = true;
        }
        GlobalUnlock(data);
      }
    }
    if (wanted) {
      request_.answered = true;
      request_.accepted = accepted;
    }
    if (ack_requested) {
      // The atom goes back with the acknowledgement.
      LPARAM answer = PackDDElParam(WM_DDE_ACK, accepted ? kAckAccepted : 0, item);
      if (!PostMessageW(from, WM_DDE_ACK, reinterpret_cast<WPARAM>(window_), answer)) {
        FreeDDElParam(WM_DDE_ACK, answer);
        GlobalDeleteAtom(item);
      }
    } else {
      GlobalDeleteAtom(item);
    }
    // Data refused with a negative acknowledgement stays the server's to free.
    if (data != nullptr && release && (accepted || !ack_requested)) GlobalFree(data);
  }

  void OnTerminate(HWND from) {
    if (terminating_.erase(from) != 0) return;  // the answer to our own end
    bool lost = false;
    for (auto& [channel, conversation] : channels_) {
      if (conversation.server != from || conversation.ended) continue;
      conversation.ended = true;
      PostMessageW(from, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
    }
    // Commands still on their way there have their answer now: the channel was lost.
    for (const auto& [id, sent] : executes_) lost = lost || (sent.server == from && sent.awaited && !sent.answered);
    if (lost && heard_) heard_();
  }

  // Ends our side of the conversation with `server`; its answer is awaited by the window.
  void Terminate(HWND server) {
    for (auto& [channel, conversation] : channels_) {
      if (conversation.server == server) conversation.ended = true;
    }
    if (IsWindow(server) && PostMessageW(server, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0))
      terminating_.insert(server);
  }

  // Whether a conversation we ended still owes its answer, from a server not busy with a command
  // of ours (which would answer only when done).
  bool AwaitingTerminations() {
    for (auto it = terminating_.begin(); it != terminating_.end();) {
      bool busy = false;
      for (const auto& [id, sent] : executes_) busy = busy || (sent.server == *it && sent.block != nullptr);
      if (!IsWindow(*it) || busy) {
        it = terminating_.erase(it);
      } else {
        ++it;
      }
    }
    return !terminating_.empty();
  }

  Conversation* Find(DdeChannel channel) {
    auto it = channels_.find(channel);
    return it == channels_.end() ? nullptr : &it->second;
  }

  static bool Usable(const Conversation& conversation) {
    return conversation.open && !conversation.ended && IsWindow(conversation.server);
  }

  // Serves the thread's messages, as its event loop would, until `answered` holds, the time-out
  // passes or the server's end of `channel` is gone. A WM_QUIT is posted again for the thread's
  // own loop, and the wait gives up as on a time-out.
  template <typename Answered>
  WaitEnd Wait(DdeChannel channel, Answered answered) {
    const DWORD time_out = static_cast<DWORD>(time_out_) * 10;
    const DWORD start = GetTickCount();
    for (;;) {
      if (answered()) return WaitEnd::kAnswered;
      Conversation* conversation = Find(channel);
      if (conversation == nullptr || conversation->ended || !IsWindow(conversation->server))
        return WaitEnd::kServerGone;
      const DWORD spent = GetTickCount() - start;
      if (spent >= time_out) return WaitEnd::kTimeOut;
      const DWORD left = time_out - spent;
      MsgWaitForMultipleObjectsEx(0, nullptr, left < kLookEveryMs ? left : kLookEveryMs, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
      MSG msg;
      while (!answered() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          PostQuitMessage(static_cast<int>(msg.wParam));
          return WaitEnd::kTimeOut;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }

  // No caller waits for the command any longer. Its block is freed now when no answer can bring it
  // back (answered already, or the server gone or done with the conversation); otherwise it is freed
  // when the late answer comes, and until then no other command can be given the same handle.
  void Drop(std::map<DdeCommand, PendingExecute>::iterator pending) {
    PendingExecute& sent = pending->second;
    const Conversation* conversation = Find(sent.channel);
    // A conversation we closed may still bring the answer; one the server ended will not.
    const bool may_answer = conversation != nullptr && (!conversation->open || !conversation->ended);
    if (sent.block != nullptr && IsWindow(sent.server) && may_answer) {
      sent.awaited = false;
      return;
    }
    if (sent.block != nullptr) GlobalFree(sent.block);
    executes_.erase(pending);
  }

  void Fail(std::int32_t code, const std::string& detail) {
    last_error_ = code;
    detail_ = detail;
  }

  HWND window_ = nullptr;
  std::map<DdeChannel, Conversation> channels_;
  DdeChannel next_channel_ = 1;
  bool initiating_ = false;
  std::vector<HWND> initiate_answers_;
  std::map<DdeCommand, PendingExecute> executes_;  // commands sent, until answered and asked for
  DdeCommand next_command_ = 1;
  std::function<void()> heard_;
  PendingRequest request_;
  std::set<HWND> terminating_;  // servers sent our end, whose answer has not come
  std::int32_t time_out_ = kDdeDefaultTimeOut;
  std::int32_t last_error_ = kDdeNoError;
  std::string detail_;
};

}  // namespace

std::string ProcessProgram(std::uint32_t process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (process == nullptr) return "";
  char path[MAX_PATH * 4] = {};
  DWORD size = sizeof path;
  std::string program;
  if (QueryFullProcessImageNameA(process, 0, path, &size)) program.assign(path, size);
  CloseHandle(process);
  return program;
}

std::unique_ptr<DdeClient> MakeDdeMessageClient() { return std::make_unique<DdeMessageClient>(); }

}  // namespace platform
