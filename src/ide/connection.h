// The main window's conversation with the IDE: the first attempt when the window opens, connecting
// with start-up (Connect and every batch operation), disconnecting, the DDE time-out and
// CheckDDEError, which reports the outcome of every command. Main owns the state and binds it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fixed_string.h"

namespace rt {
class Runtime;
class Window;
}  // namespace rt

namespace platform {
class DdeClient;
class DirectoryLister;
class ProgramStarter;
}  // namespace platform

namespace ide {

// Main's connection state; names are the system's own. Main binds DDEConnected, DDETimeOut and
// LastAction to its window.
struct ConnectionState {
  std::int32_t DDEChannel = 0;    // the current conversation; 0 = none
  std::uint8_t DDEConnected = 0;  // 1 = connected (the check box)
  std::uint8_t DDETimeOut = 15;   // minutes, 1 to 99 (the spin box)
  platform::FixedString<30> LastAction;
  std::uint16_t IDEErrorNumber = 0;  // "GetErrorNum" after a refused command
  std::string IDEErrorText;          // "GetErrorMsg", at most kMaxErrorText characters
  std::int32_t LastErrorCode = 0;    // kept by the last CheckDDEError
  // The IDE's program (full path) whose instances alone are used; "" any server of the service,
  // and "CW20" is started when none answers.
  std::string IDEProgram;
  // How many instances a batch makes applications with at once, 1 to kMaxIdes; with 1 and no
  // IDEProgram, a batch reaches its IDE as it always has.
  std::uint8_t IDEs = 1;

  static constexpr std::size_t kMaxErrorText = 299;
  static constexpr int kMaxIdes = 16;
};

// How connecting with start-up ended.
enum class ConnectOutcome {
  kConnected,
  kGaveUp,        // the IDE could not be started or never answered; the user was told
  kWindowClosed,  // the user closed the window while the IDE was starting
};

// Connecting while the IDE starts: one start of "CW20", then an attempt every kStartUpRetry (the
// main window's timer, made that short meanwhile) until this long (hundredths of a second,
// measured on the monotonic tick) has passed since the start.
inline constexpr std::int64_t kStartUpWait = 6000;
// The pause between two attempts to reach an IDE that is starting, in hundredths of a second.
inline constexpr int kStartUpRetry = 50;

// Texts the user sees; tests look for them.
inline constexpr const char* kNotRunningWarning =
    "Clarion for Windows is not currently running. For better control over your working environment, "
    "press \"Connect\" now.";
inline constexpr const char* kNotConnectedCaption = "Not Connected";

// One IDE a batch makes applications with: its conversation and which instance it is.
struct PoolIde {
  std::int32_t channel = 0;
  std::uint32_t process = 0;  // 0 when the DDE client cannot tell
  std::string program;        // its program's full path; "" when not known
};

// Whether two programs' paths name the same file: letter case folded, "/" and "\" alike, and a
// short spelling taken as its long one where `lister` tells it.
bool SameProgram(std::string_view a, std::string_view b, platform::DirectoryLister* lister = nullptr);
// "Connected to CW20 (pid 1234)" for the last-action field (the program's name without folder and
// extension, shortened to fit); "Connected to CW" when the process is not known.
std::string ConnectedText(const PoolIde& ide);
// "CW20.EXE (process 1234)": the program's file name and the process, which tell a pool's IDEs apart.
std::string IdeName(const PoolIde& ide);
// "CW20.EXE (process 1234) in C:\CW\BIN" for the log, whose event keeps 80 characters: a long
// folder is what gets cut.
std::string IdeDescription(const PoolIde& ide);

class Connection {
 public:
  // `window` is the main window, open for as long as this object is used.
  // `lister` tells a program's short and long spellings apart (null: by their text alone).
  Connection(rt::Window& window, ConnectionState& state, platform::DdeClient& dde,
             platform::ProgramStarter& starter, platform::DirectoryLister* lister = nullptr);

  rt::Window& window() { return window_; }
  rt::Runtime& runtime();
  ConnectionState& state() { return state_; }
  platform::DdeClient& dde() { return dde_; }

  // When the window has opened, before its first event: one attempt, without starting the IDE.
  void FirstAttempt();
  // On the window's open event: the "Warning" box when no conversation is open. True when it was
  // shown; the caller then gives the connection group the focus.
  bool WarnIfNotConnected();
  // The Connect button. False when the user closed the window meanwhile.
  bool Connect();
  // The Disconnect button.
  void Disconnect();
  // On the idle window's timer: once the IDE the field names has exited, the field says so
  // ("CW20 (pid 1234) has gone") and the box no longer reads connected.
  void LookAlive();
  // The start of a batch operation: connects with start-up; "Connected to CW" only when no DDE
  // error is pending. Neither redisplays nor rereads on success: the batch goes on.
  ConnectOutcome ConnectForBatch();
  // The IDEs the last ConnectForBatch reached: up to ConnectionState::IDEs of them, the first on
  // DDEChannel. Instances already running are taken first, then more are started until there are
  // as many, for as long as kStartUpWait allows. Started instances are left running when the batch
  // ends, for the next batch to find; an IDE this program did not start is never closed.
  const std::vector<PoolIde>& Pool() const { return pool_; }
  // The process-wide DDE time-out from DDETimeOut (minutes).
  void SetTimeOut();
  // Keeps `code`, the answer to a command sent on `channel`, in LastErrorCode and tells the user
  // about DDE failures: the IDE's own number and message for 603 (asked of the IDE on `channel`),
  // "DDE timeout" for 605, the code for any other above 600. The box names `application` when one
  // is given, and says in its caption what failed. With `tell_refusal` false a refusal (603) is kept
  // and read from the IDE but shows no box: a batch that goes past it logs it instead of holding a
  // nightly until someone clicks OK.
  void CheckDDEError(std::int32_t code, std::int32_t channel, std::string_view application = "",
                     bool tell_refusal = true);
  // Why the last ConnectForBatch gave up, for the log ("" after a success).
  const std::string& GaveUpReason() const { return gave_up_; }
  // Ends the current conversation, and those of the rest of the pool; DDEChannel keeps its number
  // (the display still reads connected).
  void CloseChannel();

 private:
  // Reaches up to `wanted` IDEs into pool_ (starting them when too few run).
  ConnectOutcome ConnectWithStartUp(int wanted);
  // The path of today's single IDE: any server of the service, "CW20" started when none answers.
  ConnectOutcome ConnectAny();
  // The path that chooses servers: by IDEProgram, and several.
  ConnectOutcome ConnectChosen(int wanted);
  // Adds to pool_ the servers that answer now and are not in it yet, up to `wanted`.
  void AddServers(int wanted);
  // The user is told that the IDE could not be reached; `why` goes to the log.
  ConnectOutcome GiveUp(const std::string& why, const std::string& told);
  // Runs the window's loop while an IDE starts: `attempt` on each timer tick until it gives an
  // outcome, `at_bound` once kStartUpWait has passed.
  ConnectOutcome AwaitStart(const std::function<std::optional<ConnectOutcome>()>& attempt,
                            const std::function<ConnectOutcome()>& at_bound);
  ConnectOutcome WindowClosedWhileStarting();
  // The program started when too few IDEs run, quoted when it is a path.
  std::string StartCommand() const;
  // Names the pool's IDEs in pool_ from the servers' list (a client that tells processes apart).
  void NamePool();
  // Replaces the held conversation by `channel`, closing the one held before.
  void TakeChannel(std::int32_t channel);
  void SetNotConnected();
  void Display();

  rt::Window& window_;
  ConnectionState& state_;
  platform::DdeClient& dde_;
  platform::ProgramStarter& starter_;
  platform::DirectoryLister* lister_;
  std::string gave_up_;
  std::vector<PoolIde> pool_;
};

}  // namespace ide
