// The DDE client: conversations with a DDE server by service name, commands, item requests and a
// time-out. The IDE connection and the batch operations talk to the IDE only through this interface;
// implementations: the DDE messages (win32/dde_message_client.h) and the in-process fake IDE
// (tests/doubles/fake_ide.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

// A conversation as the caller sees it: a number chosen by the client, never reused while the client
// lives. 0 is never a channel; Connect returns it when no server answered.
using DdeChannel = std::int32_t;

// A command on its way (DdeClient::Send): a number chosen by the client, never reused while the
// client lives. 0 is never a command; Send returns it when the command could not go.
using DdeCommand = std::int32_t;

// Last-error codes. 0 means no error; every DDE failure is above 600.
inline constexpr std::int32_t kDdeNoError = 0;
inline constexpr std::int32_t kDdeInvalidChannel = 601;  // 0, or a number this client never gave out
inline constexpr std::int32_t kDdeChannelNotOpen = 602;  // closed by us, or the server ended it
inline constexpr std::int32_t kDdeNotProcessed = 603;    // the server did not carry the command out
inline constexpr std::int32_t kDdeServerBusy = 604;      // the server answered that it was busy
inline constexpr std::int32_t kDdeTimeOut = 605;         // no acknowledgement within the time-out
inline constexpr std::int32_t kDdeSystemError = 606;     // any other failure of the DDE machinery

// What Answer gives while the server has not answered yet. Never a last error.
inline constexpr std::int32_t kDdePending = -1;

// The time-out a new client starts with: 15 minutes, in hundredths of a second.
inline constexpr std::int32_t kDdeDefaultTimeOut = 90000;

// The text every implementation gives for a last-error code (LastErrorText of a fresh failure).
// Codes it does not know get a generic text that names the number.
std::string DdeErrorText(std::int32_t code);

// One server of a service, as its acknowledgement of a connect named it: several instances of the
// IDE each register the same service, and only the process tells them apart.
struct DdeServer {
  std::uint32_t process_id = 0;
  std::string program;  // the full path of the program that process runs; "" when it cannot be told
};

class DdeClient {
 public:
  virtual ~DdeClient() = default;

  // Every server of `service` that answers now, once per process, in the order they answered.
  // Implementations that cannot tell servers apart return none.
  virtual std::vector<DdeServer> Servers(const std::string& /*service*/) { return {}; }

  // Opens a conversation with the server of `service` in process `process_id` only (any topic);
  // 0 when that process does not answer. Leaves the last error as it was, as Connect does.
  virtual DdeChannel ConnectTo(const std::string& /*service*/, std::uint32_t /*process_id*/) { return 0; }

  // The process of the server at the other end of `channel`; 0 when it cannot be told, and for 0,
  // unknown or closed channels.
  virtual std::uint32_t ServerProcess(DdeChannel /*channel*/) { return 0; }

  // Whether process `process_id`, which served a conversation, still runs: false once it exited.
  // True for 0 and wherever it cannot be told.
  virtual bool ProcessRunning(std::uint32_t /*process_id*/) { return true; }

  // Opens a conversation with a server of `service` on any topic (the DDE wildcard). Returns its
  // channel, or 0 when no server answered. Each call opens a new conversation, also when one with
  // the same server is open. Leaves the last error as it was: a caller that wants to know whether a
  // failure is still pending after reconnecting can ask.
  virtual DdeChannel Connect(const std::string& service) = 0;

  // Sends `command` (at most 255 characters) on `channel` and returns at once, without waiting for
  // the server's answer: an IDE may answer only once the make it was sent is done, minutes later.
  // Returns the command's number, with the last error kDdeNoError; or 0 when it could not go, with
  // the last error kDdeInvalidChannel (0 or an unknown channel), kDdeChannelNotOpen (closed, or its
  // server gone) or kDdeSystemError. Several commands may be on their way at once, on one channel
  // or several. No time-out applies: the caller decides how long to wait and then Forgets it.
  virtual DdeCommand Send(DdeChannel channel, const std::string& command) = 0;

  // How the server answered `command`: kDdePending while no answer came; then kDdeNoError
  // (accepted), kDdeNotProcessed (refused), kDdeServerBusy (busy: the command had no effect), or
  // kDdeChannelNotOpen (the server ended the conversation, or its process went, before answering).
  // The first call that sees the final answer also leaves it as the last error (LastError,
  // LastErrorText) and forgets the command; kDdeInvalidChannel for 0, a forgotten or unknown
  // command. Messages are not served here: answers come in while the thread's messages are served
  // (the window's loop, a wait, another call of this client).
  virtual std::int32_t Answer(DdeCommand command) = 0;

  // The caller no longer waits for `command` (it timed out, the user stopped it): a late answer is
  // dropped when it comes. Forgetting 0, an unknown or an answered command does nothing. Never
  // changes the last error.
  virtual void Forget(DdeCommand command) = 0;

  // `heard` is called whenever an answer to a sent command comes in, the server's end of a
  // conversation with a command on its way included, from within whatever serves the thread's
  // messages, so that a loop waiting for answers can wake; {} stops it. (A server that died says
  // nothing: Answer or ServerAlive, asked now and then, tell it.) It must not call back into this
  // client.
  virtual void OnAnswer(std::function<void()> heard) = 0;

  // Send, then wait for the answer, serving the thread's messages, until it comes or the time-out
  // (SetTimeOut) passed. Always sets the last error: kDdeNoError when the server
  // accepted the command; kDdeInvalidChannel for 0 or an unknown channel; kDdeChannelNotOpen for a
  // closed channel or one whose server has gone; kDdeNotProcessed when the server refused it;
  // kDdeTimeOut when no acknowledgement came in time; kDdeServerBusy or kDdeSystemError otherwise.
  // After a time-out the channel stays usable for the next command.
  virtual void Execute(DdeChannel channel, const std::string& command) = 0;

  // Requests `item` once, as text, on `channel`. On success stores the server's answer (without a
  // terminating zero) in `value` and returns true; otherwise sets `value` to "" and returns false.
  // Never changes the last error: the items worth requesting are those that explain the failure of
  // the command before, and that failure must stay pending for the caller.
  virtual bool Request(DdeChannel channel, const std::string& item, std::string& value) = 0;

  // Whether the server's end of the conversation on `channel` is still there: false once the server
  // ended the conversation or its process is gone, and for 0, unknown or closed channels. A wait
  // asks it now and then, so that an IDE that died does not cost the whole time-out. Never changes
  // the last error.
  virtual bool ServerAlive(DdeChannel channel) = 0;

  // Ends the conversation. Closing 0, an unknown or an already closed channel does nothing. Never
  // changes the last error.
  virtual void Close(DdeChannel channel) = 0;

  // The time-out for acknowledgements, in hundredths of a second, for every channel of this client
  // from the next command on. Values below 1 count as 1. The program keeps one client per process,
  // so this is its process-wide DDE time-out.
  virtual void SetTimeOut(std::int32_t hundredths) = 0;

  // The code Execute left (kDdeNoError before the first command) and its text: DdeErrorText of the
  // code, or a more precise text of the implementation's that starts the same way.
  virtual std::int32_t LastError() = 0;
  virtual std::string LastErrorText() = 0;
};

}  // namespace platform
