// The folder wait on Windows: a change notification on the folder, waited on beside the thread's
// message queue (MsgWaitForMultipleObjectsEx). The folder's code-page name goes to the system in UTF-16.
#include "platform/folder_wait.h"

#include <windows.h>

#include "platform/code_page.h"

namespace platform {

struct FolderWait::Watcher {
  HANDLE change = nullptr;
  ~Watcher() {
    if (change) FindCloseChangeNotification(change);
  }
};

FolderWait::FolderWait() = default;
FolderWait::~FolderWait() = default;

bool FolderWait::Watch(const std::string& folder) {
  if (watcher_ && folder == folder_) return true;
  watcher_.reset();
  folder_.clear();
  if (folder.empty()) return true;
  std::string path = folder;
  // The folder's own name, without the separator the program writes after it; a root such as
  // "C:\" or "\" keeps its separator, as without it it names no folder (or another one).
  if (path.size() > 1 && (path.back() == '\\' || path.back() == '/') && path[path.size() - 2] != ':') path.pop_back();
  // Files made, renamed or deleted, and files written (their time or size changes); not the
  // folders below.
  const std::u16string wide = ToUtf16(path);
  HANDLE change = FindFirstChangeNotificationW(
      reinterpret_cast<const wchar_t*>(wide.c_str()), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
  if (change == INVALID_HANDLE_VALUE) return false;
  watcher_ = std::make_unique<Watcher>();
  watcher_->change = change;
  folder_ = folder;
  return true;
}

FolderWait::Woke FolderWait::Wait(std::int64_t ms, bool on_folder, bool on_messages) {
  const DWORD time_out = ms < 0 ? INFINITE : static_cast<DWORD>(ms);
  HANDLE handle = on_folder && watcher_ ? watcher_->change : nullptr;
  const DWORD handles = handle ? 1 : 0;
  if (handles == 0 && !on_messages) {
    Sleep(time_out);
    return Woke::kTime;
  }
  // MWMO_INPUTAVAILABLE: messages that an earlier look saw but left queued wake this wait too.
  DWORD woke = MsgWaitForMultipleObjectsEx(handles, &handle, time_out, on_messages ? QS_ALLINPUT : 0,
                                           on_messages ? MWMO_INPUTAVAILABLE : 0);
  if (handles && woke == WAIT_OBJECT_0) {
    // Re-armed before the caller looks, so that a change made meanwhile signals again. A handle
    // that cannot be re-armed is given up: it would stay signalled.
    if (!FindNextChangeNotification(watcher_->change)) Watch("");
    return Woke::kFolder;
  }
  if (on_messages && woke == WAIT_OBJECT_0 + handles) return Woke::kMessage;
  // A wait on the message queue alone does not fail, so a failure gives the watch up and the next
  // wait is without it.
  if (woke == WAIT_FAILED && handles) Watch("");
  return Woke::kTime;
}

bool DispatchThreadMessages() {
  bool any = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    any = true;
    if (msg.message == WM_QUIT) {
      // Kept for the thread's own loop, which ends on it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return any;
}

}  // namespace platform
