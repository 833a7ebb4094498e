// The DDEML implementation of DdeClient: conversations on the wildcard topic, synchronous executes
// with the time-out, CF_TEXT item requests, and the workarounds for wine's DDEML (ddeml_client.h).
#include "platform/win32/ddeml_client.h"

#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/folder_wait.h"

namespace platform {
namespace {

// The asynchronous execute in progress on this thread: the callback fills in its end when DDEML
// delivers it while the thread's messages are served.
struct PendingExecute {
  DWORD id = 0;
  bool done = false;
  bool acknowledged = false;
  DWORD status = 0;  // the server's DDE_ flags
};
thread_local PendingExecute* g_pending = nullptr;

// A client-only instance has nothing to answer; it hears only of its own transactions' ends.
HDDEDATA CALLBACK OnTransaction(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR id, ULONG_PTR flags) {
  if (type == XTYP_XACT_COMPLETE && g_pending != nullptr &&
      (static_cast<DWORD>(id) == g_pending->id || HIWORD(id) == g_pending->id)) {
    g_pending->done = true;
    g_pending->acknowledged = data != nullptr;
    g_pending->status |= LOWORD(flags);
  }
  return nullptr;
}

bool Applies(WineWorkaround workaround) {
  switch (workaround) {
    case WineWorkaround::kOn:
      return true;
    case WineWorkaround::kOff:
      return false;
    case WineWorkaround::kAuto:
      break;
  }
  return RunningOnWine();
}

class DdemlClient final : public DdeClient {
 public:
  explicit DdemlClient(DdemlOptions options)
      : fresh_conversation_per_request_(Applies(options.fresh_conversation_per_request)),
        new_conversation_after_time_out_(Applies(options.new_conversation_after_time_out)) {
    if (DdeInitializeA(&instance_, OnTransaction, APPCMD_CLIENTONLY | CBF_SKIP_ALLNOTIFICATIONS, 0) !=
        DMLERR_NO_ERROR) {
      instance_ = 0;  // no conversation can open, so every command reports an invalid channel
    }
  }

  ~DdemlClient() override {
    for (auto& [channel, conversation] : channels_) End(conversation);
    // Uninitialising ends every conversation, waiting for each server's answer: one still busy
    // with a command that timed out would hold the program's exit up to its own time-out (ten
    // seconds under wine). Such conversations go with the thread's DDE windows instead.
    std::erase_if(set_aside_, [](HCONV handle) { return !ServerAlive(handle); });
    if (instance_ != 0 && set_aside_.empty()) DdeUninitialize(instance_);
  }

  DdeChannel Connect(const std::string& service) override {
    if (instance_ == 0) return 0;
    HSZ name = DdeCreateStringHandleA(instance_, service.c_str(), CP_WINANSI);
    if (name == nullptr) return 0;
    HCONV conversation = Open(name);
    if (conversation == nullptr) {
      DdeFreeStringHandle(instance_, name);
      return 0;
    }
    DdeChannel channel = next_channel_++;
    channels_[channel] = Conversation{conversation, name, true, false, false};
    EndSetAside(conversation);
    return channel;
  }

  void Execute(DdeChannel channel, const std::string& command) override {
    detail_.clear();
    auto it = channels_.find(channel);
    if (it == channels_.end()) {
      last_error_ = kDdeInvalidChannel;
      return;
    }
    Conversation& conversation = it->second;
    if (!conversation.open) {
      last_error_ = kDdeChannelNotOpen;
      return;
    }
    DWORD time_out = TimeOutMs();
    if (conversation.stale) {
      // The command that timed out may still be acknowledged on the old conversation, and that
      // answer must not meet this command there: it goes out on a new conversation. A server still
      // busy with the old command answers no connect either; it has the time-out to become free.
      // The window is served between the attempts, as during a command, and a connect is tried only
      // when the server's window answers: meanwhile a connect would wait for it (two seconds under
      // wine) with the window unserved.
      DWORD start = GetTickCount();
      HCONV fresh = Answers(conversation.handle) ? Open(conversation.service) : nullptr;
      while (fresh == nullptr && GetTickCount() - start < time_out && ServerAlive(conversation.handle) &&
             PauseServingMessages(100)) {
        if (Answers(conversation.handle)) fresh = Open(conversation.service);
      }
      if (fresh == nullptr) {
        last_error_ = ServerAlive(conversation.handle) ? kDdeTimeOut : kDdeChannelNotOpen;
        return;
      }
      // The server answered a connect, so it is free to answer the old conversation's end at once.
      DdeDisconnect(conversation.handle);
      conversation.handle = fresh;
      conversation.stale = false;
      conversation.abandoned = false;
      DWORD spent = GetTickCount() - start;
      time_out = spent < time_out ? time_out - spent : 1;
    }
    if (!Connected(conversation.handle)) {
      last_error_ = kDdeChannelNotOpen;
      return;
    }

    DWORD status = 0;
    bool acknowledged = false;
    UINT error = DMLERR_NO_ERROR;
    if (ExecuteServingMessages(conversation.handle, command, time_out, acknowledged, status, error)) {
      // Wine's DDEML keeps a finished asynchronous transaction queued on its conversation, where it
      // takes the next answer (to a command or a request) for its own: a conversation that got
      // its answer is replaced by a new one at once, while the server is free to answer.
      if (error != DMLERR_EXECACKTIMEOUT && error != DMLERR_SERVER_DIED) {
        if (HCONV fresh = Open(conversation.service)) {
          DdeDisconnect(conversation.handle);
          DdeGetLastError(instance_);
          conversation.handle = fresh;
        } else {
          conversation.stale = true;
        }
      }
    } else {
      // DDEML took no asynchronous transaction: a synchronous one, which serves no messages.
      // DDEML sends the bytes as given; the server expects text with its terminating zero.
      acknowledged = DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(command.c_str())),
                                          static_cast<DWORD>(command.size() + 1), conversation.handle, nullptr, 0,
                                          XTYP_EXECUTE, time_out, &status) != nullptr;
      error = DdeGetLastError(instance_);
    }
    conversation.abandoned = false;
    if (acknowledged) {
      last_error_ = kDdeNoError;
      return;
    }
    switch (error) {
      case DMLERR_EXECACKTIMEOUT:
        last_error_ = kDdeTimeOut;
        conversation.abandoned = true;
        if (new_conversation_after_time_out_) conversation.stale = true;
        break;
      case DMLERR_NOTPROCESSED:
        // Wine's DDEML reports a busy answer as "not processed" with the busy flag set.
        last_error_ = (status & DDE_FBUSY) != 0 ? kDdeServerBusy : kDdeNotProcessed;
        break;
      case DMLERR_BUSY:
        last_error_ = kDdeServerBusy;
        break;
      case DMLERR_NO_CONV_ESTABLISHED:
      case DMLERR_POSTMSG_FAILED:
      case DMLERR_SERVER_DIED:
      case DMLERR_INVALIDPARAMETER:  // the conversation handle is no longer valid
        last_error_ = kDdeChannelNotOpen;
        break;
      case DMLERR_NO_ERROR:
        // No answer and no error of the library's: either the server ended the conversation while
        // we waited, or it answered negatively, and then the flags tell busy from refused.
        if (!Connected(conversation.handle)) {
          last_error_ = kDdeChannelNotOpen;
        } else {
          last_error_ = (status & DDE_FBUSY) != 0 ? kDdeServerBusy : kDdeNotProcessed;
        }
        break;
      default:
        Fail(kDdeSystemError, error);
        break;
    }
  }

  bool Request(DdeChannel channel, const std::string& item, std::string& value) override {
    value.clear();
    auto it = channels_.find(channel);
    if (instance_ == 0 || it == channels_.end() || !it->second.open) return false;
    Conversation& conversation = it->second;
    HSZ item_name = DdeCreateStringHandleA(instance_, item.c_str(), CP_WINANSI);
    if (item_name == nullptr) return false;

    bool own_conversation = fresh_conversation_per_request_ || conversation.stale;
    HCONV handle = own_conversation ? Open(conversation.service) : conversation.handle;
    bool answered = false;
    if (handle != nullptr && Connected(handle)) {
      HDDEDATA data = DdeClientTransaction(nullptr, 0, handle, item_name, CF_TEXT, XTYP_REQUEST, TimeOutMs(), nullptr);
      if (data != nullptr) {
        DWORD size = DdeGetData(data, nullptr, 0, 0);
        std::string text(size, '\0');
        if (size > 0) DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), size, 0);
        DdeFreeDataHandle(data);
        value = text.substr(0, text.find('\0'));
        answered = true;
      }
      DdeGetLastError(instance_);  // requests leave our last error alone; clear the library's
    }
    if (own_conversation && handle != nullptr) DdeDisconnect(handle);
    DdeFreeStringHandle(instance_, item_name);
    return answered;
  }

  bool ServerAlive(DdeChannel channel) override {
    auto it = channels_.find(channel);
    if (it == channels_.end() || !it->second.open) return false;
    // A stale conversation is replaced at the next command; its server's window tells as well.
    return ServerAlive(it->second.handle) && (it->second.stale || Connected(it->second.handle));
  }

  void Close(DdeChannel channel) override {
    auto it = channels_.find(channel);
    if (it == channels_.end() || !it->second.open) return;
    End(it->second);
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
    HCONV handle;
    HSZ service;
    bool open;
    bool stale;      // its last execute was asynchronous or timed out: the next goes on a new one
    bool abandoned;  // its last execute timed out: the server may still be busy with it
  };

  // Whether the server's window of the conversation answers a message within 50 ms: a server busy
  // inside a command answers nothing until it is done.
  static bool Answers(HCONV handle) {
    CONVINFO info{};
    info.cb = sizeof info;
    DWORD_PTR result = 0;
    return DdeQueryConvInfo(handle, QID_SYNC, &info) != 0 &&
           SendMessageTimeoutW(info.hwndPartner, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 50, &result) != 0;
  }

  // Waits `ms` serving the thread's messages, as a window's loop would. False when the thread was
  // told to quit (WM_QUIT, posted again for the thread's own loop): the caller gives up.
  static bool PauseServingMessages(DWORD ms) {
    const DWORD start = GetTickCount();
    for (DWORD spent = 0; spent < ms; spent = GetTickCount() - start) {
      MsgWaitForMultipleObjectsEx(0, nullptr, ms - spent, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          PostQuitMessage(static_cast<int>(msg.wParam));
          return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    return true;
  }

  // Ends the conversations set aside while busy whose server has answered `answered` (a new
  // conversation, so it serves its messages again) or is gone: ending them no longer waits.
  void EndSetAside(HCONV answered) {
    const DWORD process = PartnerProcess(answered);
    std::erase_if(set_aside_, [&](HCONV handle) {
      if (ServerAlive(handle) && PartnerProcess(handle) != process) return false;
      DdeDisconnect(handle);
      DdeGetLastError(instance_);
      return true;
    });
  }

  static DWORD PartnerProcess(HCONV handle) {
    CONVINFO info{};
    info.cb = sizeof info;
    DWORD process = 0;
    if (DdeQueryConvInfo(handle, QID_SYNC, &info) != 0) GetWindowThreadProcessId(info.hwndPartner, &process);
    return process;
  }

  // Sends `command` as an asynchronous transaction and waits for its answer beside the thread's
  // message queue, serving the messages meanwhile, so that the window stays responsive while the
  // IDE works inside the call (an IDE that acknowledges only after the build). The window's input
  // reaches its model as events, which the caller drops after the send. The server's answer is
  // read on its way to DDEML as well: wine's DDEML tells the callback no flags, so busy and refused
  // would look alike. On return `error` is DMLERR_EXECACKTIMEOUT when no answer came in time,
  // DMLERR_SERVER_DIED when the server went, DMLERR_NOTPROCESSED for a negative answer (its busy
  // flag then in `status`). False when DDEML would not start the transaction.
  bool ExecuteServingMessages(HCONV handle, const std::string& command, DWORD time_out, bool& acknowledged,
                              DWORD& status, UINT& error) {
    CONVINFO info{};
    info.cb = sizeof info;
    HWND client = DdeQueryConvInfo(handle, QID_SYNC, &info) != 0 ? info.hwnd : nullptr;
    PendingExecute pending;
    DWORD id = 0;
    if (DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(command.c_str())),
                             static_cast<DWORD>(command.size() + 1), handle, nullptr, 0, XTYP_EXECUTE, TIMEOUT_ASYNC,
                             &id) == nullptr) {
      DdeGetLastError(instance_);
      return false;
    }
    pending.id = id;
    g_pending = &pending;
    const DWORD start = GetTickCount();
    error = DMLERR_NO_ERROR;
    bool quitting = false;
    while (!pending.done) {
      const DWORD spent = GetTickCount() - start;
      if (spent >= time_out || quitting) {
        error = DMLERR_EXECACKTIMEOUT;
        break;
      }
      if (!ServerAlive(handle)) {
        error = DMLERR_SERVER_DIED;
        break;
      }
      // A look at the server now and then, in case it dies without a word.
      MsgWaitForMultipleObjectsEx(0, nullptr, time_out - spent < 100 ? time_out - spent : 100, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
      MSG msg;
      while (!pending.done && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          // Kept for the thread's own loop; the session ends, the command is given up.
          PostQuitMessage(static_cast<int>(msg.wParam));
          quitting = true;
          break;
        }
        UINT_PTR low = 0, high = 0;
        if (msg.message == WM_DDE_ACK && msg.hwnd == client && UnpackDDElParam(WM_DDE_ACK, msg.lParam, &low, &high))
          pending.status |= LOWORD(low) & (DDE_FBUSY | DDE_FACK | DDE_FAPPSTATUS);
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    g_pending = nullptr;
    if (!pending.done) {
      DdeAbandonTransaction(instance_, handle, id);
      DdeGetLastError(instance_);
      acknowledged = false;
      return true;
    }
    acknowledged = pending.acknowledged;
    status = pending.status;
    if (!acknowledged) error = DMLERR_NOTPROCESSED;
    return true;
  }

  static bool Connected(HCONV handle) {
    CONVINFO info{};
    info.cb = sizeof info;
    if (DdeQueryConvInfo(handle, QID_SYNC, &info) == 0) return false;
    return (info.wStatus & ST_CONNECTED) != 0;
  }

  // Whether the server's end of the conversation still exists, busy or not.
  static bool ServerAlive(HCONV handle) {
    CONVINFO info{};
    info.cb = sizeof info;
    return DdeQueryConvInfo(handle, QID_SYNC, &info) != 0 && IsWindow(info.hwndPartner);
  }

  HCONV Open(HSZ service) {
    // A zero topic is the DDE wildcard: the server picks a topic of its own.
    HCONV handle = DdeConnect(instance_, service, nullptr, nullptr);
    DdeGetLastError(instance_);
    return handle;
  }

  void End(Conversation& conversation) {
    if (!conversation.open) return;
    if ((conversation.abandoned || conversation.stale) && ServerAlive(conversation.handle)) {
      // Its server may still be busy (with the command that timed out, or one that left it too
      // busy to answer a connect) and would answer the end only when done, while DDEML waits up
      // to ten seconds under wine: the conversation is set aside, and ended once its server
      // answers again. The IDE is left to finish its job.
      set_aside_.push_back(conversation.handle);
    } else {
      DdeDisconnect(conversation.handle);
    }
    DdeGetLastError(instance_);
    DdeFreeStringHandle(instance_, conversation.service);
    conversation.open = false;
  }

  void Fail(std::int32_t code, UINT library_error) {
    last_error_ = code;
    char text[32];
    std::snprintf(text, sizeof text, "DDEML error 0x%04X", library_error);
    detail_ = text;
  }

  DWORD TimeOutMs() const { return static_cast<DWORD>(time_out_) * 10; }

  DWORD instance_ = 0;
  const bool fresh_conversation_per_request_;
  const bool new_conversation_after_time_out_;
  std::map<DdeChannel, Conversation> channels_;
  std::vector<HCONV> set_aside_;  // closed by us while their server was busy; not yet ended
  DdeChannel next_channel_ = 1;
  std::int32_t time_out_ = kDdeDefaultTimeOut;
  std::int32_t last_error_ = kDdeNoError;
  std::string detail_;
};

}  // namespace

bool RunningOnWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::unique_ptr<DdeClient> MakeDdemlClient(DdemlOptions options) {
  return std::make_unique<DdemlClient>(options);
}

}  // namespace platform
