// The DDE server of ide-standin: offers the service "ClarionWin" on any topic, accepts or refuses
// the IDE's five commands, writes their result files after a delay (at once, or slowly, holding the
// file open meanwhile) and answers the two error items.
// Runs on the thread of the window that receives its timers (main.cpp).
#pragma once

#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ide_command.h"
#include "standin_options.h"

namespace standin {

// The log of what the stand-in receives and does, one line per event, flushed at once so that a
// test reading it sees every command before the command's acknowledgement arrives.
class Log {
 public:
  explicit Log(const std::string& path);
  ~Log();
  void Line(const std::string& text);

 private:
  std::FILE* file_ = nullptr;
};

class Server {
 public:
  static constexpr const char* kService = "ClarionWin";
  // The topic a wildcard connect gets when it names none.
  static constexpr const char* kTopic = "System";

  Server(const Options& options, Log& log);
  ~Server();
  // Offers the service; timers go to `window`, which passes them to OnTimer. False when DDEML
  // refused to start.
  bool Start(HWND window);
  void OnTimer(UINT_PTR id);

 private:
  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                    ULONG_PTR, ULONG_PTR);
  HDDEDATA WildConnect(HSZ topic, HSZ service);
  HDDEDATA Execute(HCONV conversation, HDDEDATA data);
  // Ends `conversation` from our side, its blocked command unanswered.
  void EndConversation(HCONV conversation);
  HDDEDATA Request(HSZ item, UINT format);
  HDDEDATA Refuse(int number, const std::string& message);
  void WriteResult(const ide_standin::IdeCommand& command);
  // Writes `content` to `path` in pieces over write_slowly_ms, the file held open with write access
  // (others may only read it) until the last piece is in, as a compiler writes its output.
  void WriteSlowly(const std::string& path, const std::string& content);
  struct SlowWrite;
  void ContinueSlowWrite(std::shared_ptr<SlowWrite> write);
  void After(int ms, std::function<void()> action);
  std::string Text(HSZ handle);

  static Server* instance_;  // DDEML's callback carries no pointer of ours

  Options options_;
  Log& log_;
  HWND window_ = nullptr;
  DWORD dde_ = 0;
  HSZ service_ = nullptr;
  HSZ topic_ = nullptr;
  int commands_ = 0;
  int error_number_ = 0;
  std::string error_message_;
  std::map<UINT_PTR, std::function<void()>> timers_;
  UINT_PTR next_timer_ = 1;
};

}  // namespace standin
