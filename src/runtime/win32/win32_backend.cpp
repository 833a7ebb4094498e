// The Win32 backend (see win32_backend.h): the message pump that feeds the top window, and the
// services beside windows, each a thin call of its Win32 counterpart.
#include "runtime/win32/win32_backend.h"

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "platform/clock.h"
#include "platform/folder_wait.h"
#include "runtime/runtime.h"
#include "runtime/window.h"
#include "runtime/win32/win32_mapping.h"
#include "runtime/win32/win32_peer.h"

namespace rt::win32 {
namespace {

class Win32Backend final : public Backend {
 public:
  Win32Backend() {
    context_.instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_LISTVIEW_CLASSES |
                     ICC_UPDOWN_CLASS | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);
  }

  std::unique_ptr<WindowPeer> CreatePeer(Window& window) override {
    return std::make_unique<Win32Peer>(context_, window);
  }

  void WaitForInput(Window& window) override {
    Win32Peer* peer = PeerOf(window);
    while (!window.HasEvents() && !window.IsClosed()) {
      if (quitting_ || !peer || !peer->hwnd()) {
        // The session is ending (or the window could not be made): the window is asked to close
        // as if the user had clicked its close box, and every window after it too.
        window.UserClose();
        return;
      }
      // Messages already waiting go first, so that a folder that keeps changing cannot shut the
      // user out.
      if (PumpWaitingMessages(window, *peer)) continue;
      // The platform's one wait: the watched folder beside the message queue.
      if (peer->folder_wait().Wait(platform::FolderWait::kForever, peer->watching(), true) ==
          platform::FolderWait::Woke::kFolder)
        window.DirectoryChanged();
    }
  }

  int Message(const MessageBoxSpec& box) override {
    std::wstring text = Widen(box.text);
    std::wstring caption = Widen(box.caption);
    HWND owner = Owner();
    UINT style = MessageBoxStyle(box) | (owner ? 0u : static_cast<UINT>(MB_TASKMODAL));
    // The box's own loop serves the thread's messages, and with them a thread timer whose
    // procedure runs the box's work meanwhile.
    const std::function<void()>* outer = while_open_;
    while_open_ = box.while_open ? &box.while_open : nullptr;
    const UINT_PTR timer = while_open_ ? SetTimer(nullptr, 0, kWhileOpenMs, WhileOpen) : 0;
    int button = ButtonFromResult(MessageBoxW(owner, text.c_str(), caption.c_str(), style));
    if (timer != 0) KillTimer(nullptr, timer);
    while_open_ = outer;
    if (button != 0) return button;
    // The box could not be shown: the answer is the one that does least.
    if (box.buttons & ButtonCancel) return ButtonCancel;
    for (int flag = ButtonOk; flag <= ButtonCancel; flag <<= 1)
      if (box.buttons & flag) return flag;
    return ButtonOk;
  }

  std::optional<std::string> OpenFile(const FileDialogSpec& dialog) override {
    std::wstring filter = FileDialogFilter(dialog.filter);
    std::wstring title = Widen(dialog.title);
    std::wstring initial = Widen(dialog.initial);
    std::vector<wchar_t> file(32768, L'\0');
    std::wstring folder;
    DWORD attributes = initial.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(initial.c_str());
    bool is_folder = !initial.empty() &&
                     ((attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) ||
                      initial.back() == L'\\' || initial.back() == L'/');
    if (is_folder) folder = initial;
    else std::copy_n(initial.begin(), std::min(initial.size(), file.size() - 1), file.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = Owner();
    ofn.lpstrFilter = dialog.filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    // The program keeps its record files in the current folder, so the dialog must not move it.
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    // A name the code page cannot hold comes by its short form; without one it keeps its "?", which
    // the procedure refuses with its reason rather than store.
    std::string chosen;
    NarrowName(file.data(), chosen);
    return chosen;
  }

  int Popup(const std::string& definition) override {
    HWND owner = Owner();
    if (!owner) return 0;
    HMENU menu = BuildPopupMenu(ParsePopup(definition));
    if (!menu) return 0;
    POINT at{};
    GetCursorPos(&at);
    // A popup menu closes properly when clicked away only if its owner is in the foreground.
    SetForegroundWindow(owner);
    int chosen = static_cast<int>(TrackPopupMenuEx(
        menu, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, at.x,
        at.y, owner, nullptr));
    PostMessageW(owner, WM_NULL, 0, 0);
    DestroyMenu(menu);
    return chosen;
  }

  void Beep() override { MessageBeep(MB_OK); }

  void SetBusyCursor(bool busy) override {
    context_.busy = busy;
    if (busy) SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
    else RefreshCursor();
  }

  void SetWorkingCursor(bool working) override {
    context_.working = working;
    if (!context_.busy) RefreshCursor();
  }

  void SetProgramIcon(const char* icon) override { context_.program_icon = icon ? icon : ""; }
  void SetProgramName(const std::string& name) override { program_name_ = name; }

  [[noreturn]] void Halt(const std::string& text) override {
    std::wstring caption = Widen(program_name_);
    if (caption.empty()) {
      // No name given: the file name of the .exe without its extension.
      wchar_t path[MAX_PATH] = L"";
      GetModuleFileNameW(nullptr, path, MAX_PATH);
      caption = path;
      caption = caption.substr(caption.find_last_of(L"\\/") + 1);
      caption = caption.substr(0, caption.find_last_of(L'.'));
    }
    std::wstring wide = Widen(text);
    MessageBoxW(Owner(), wide.c_str(), caption.c_str(),
                MB_OK | MB_ICONHAND | MB_TASKMODAL | MB_SETFOREGROUND);
    ExitProcess(1);
  }

  platform::Clock& clock() override { return platform::SystemClock(); }

 private:
  static constexpr UINT kWhileOpenMs = 100;
  // The work of the message box open now; one box at a time runs it.
  static inline const std::function<void()>* while_open_ = nullptr;
  static inline bool in_while_open_ = false;
  static void CALLBACK WhileOpen(HWND, UINT, UINT_PTR, DWORD) {
    if (while_open_ == nullptr || in_while_open_) return;
    in_while_open_ = true;
    (*while_open_)();
    in_while_open_ = false;
  }

  Win32Peer* PeerOf(Window& window) {
    for (Win32Peer* peer : context_.peers)
      if (&peer->window() == &window) return peer;
    return nullptr;
  }
  // Dispatches the messages waiting in the queue, one at a time as a GetMessage loop would, until
  // one of them gave the window an event or closed it. True when it dispatched any, or when the
  // session is ending (WM_QUIT).
  bool PumpWaitingMessages(Window& window, Win32Peer& peer) {
    bool any = false;
    MSG msg;
    while (!window.HasEvents() && !window.IsClosed() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      any = true;
      if (msg.message == WM_QUIT) {
        quitting_ = true;
        break;
      }
      if (peer.PreTranslate(msg)) continue;
      if (!IsDialogMessageW(peer.hwnd(), &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
      if (!window.IsClosed()) peer.NoteFocus();
    }
    return any;
  }

  // Shows at once the cursor that the busy and working flags ask for, when the mouse is over one
  // of the program's windows (elsewhere the cursor is the other program's): the window under it
  // is asked, as on a mouse move.
  static void RefreshCursor() {
    POINT at{};
    if (!GetCursorPos(&at)) return;
    HWND under = WindowFromPoint(at);
    if (!under || GetWindowThreadProcessId(under, nullptr) != GetCurrentThreadId()) return;
    LRESULT hit = SendMessageW(under, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
    SendMessageW(under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                 MAKELPARAM(static_cast<WORD>(hit), WM_MOUSEMOVE));
  }
  HWND Owner() const { return context_.peers.empty() ? nullptr : context_.peers.back()->hwnd(); }

  Win32Context context_;
  std::string program_name_;
  bool quitting_ = false;
};

}  // namespace
}  // namespace rt::win32

std::unique_ptr<rt::Backend> MakeWin32Backend() { return std::make_unique<rt::win32::Win32Backend>(); }
