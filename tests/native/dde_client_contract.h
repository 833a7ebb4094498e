// The one contract test suite of platform::DdeClient (with its ProgramStarter), run against every
// implementation: natively against the fake IDE (dde_client_test.cpp), under wine against the
// client on DDE messages and the ide-standin server in its own process (tests/windows/dde/). Each
// instantiates the suite with a factory for its harness.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/dde_client.h"
#include "platform/program_starter.h"

namespace dde_contract {

// How the IDE is to behave in a test.
struct IdeBehaviour {
  std::uint16_t refuse_number = 0;  // not 0: refuse every command with this number...
  std::string refuse_message;       // ...and this message
  int ack_delay_ms = 0;             // acknowledge this late, inside the command...
  int ack_delay_commands = 0;       // ...the first this many commands (0: all of them)
  int result_delay_ms = 0;          // from acknowledgement to result file...
  bool write_at_ack = false;        // ...or written just before the acknowledgement
  int busy_commands = 0;            // answer the first this many commands busy
  int end_at_command = 0;           // not 0: end the conversation instead of answering this command
};

// What a contract test needs from one implementation. Times are real milliseconds under wine and
// virtual ones for the fake.
class DdeClientHarness {
 public:
  virtual ~DdeClientHarness() = default;
  virtual platform::DdeClient& Client() = 0;
  virtual platform::ProgramStarter& Starter() = 0;
  // One more IDE is running and answering with `behaviour` when this returns; its process, as
  // Servers names it.
  virtual platform::DdeServer StartIde(const IdeBehaviour& behaviour) = 0;
  // The IDE is not running; starting "CW20" through Starter() brings it up with `behaviour`.
  virtual void InstallIdeAsCw20(const IdeBehaviour& behaviour) = 0;
  // Every running IDE exits.
  virtual void StopIde() = 0;
  // The IDE of `process` is killed, as a crash would end it.
  virtual void KillIde(std::uint32_t process) = 0;
  // Every command the IDE of `process` received (0: the one IDE), accepted or not, in order.
  virtual std::vector<std::string> CommandsReceived(std::uint32_t process = 0) = 0;
  // Lets `ms` pass while the program goes on handling its messages.
  virtual void Pass(int ms) = 0;
};

struct HarnessFactory {
  const char* name;
  std::unique_ptr<DdeClientHarness> (*make)();
};

inline std::string PrintToString(const HarnessFactory& factory) { return factory.name; }

class DdeClientContract : public ::testing::TestWithParam<HarnessFactory> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A fresh empty folder for the test's files, with a trailing separator, as the program passes
  // directories to the IDE.
  const std::string& Folder() const { return folder_; }
  void WriteFile(const std::string& path, const std::string& text);
  bool FileExists(const std::string& path);
  // Passes time in small steps until `path` exists or `ms` have passed.
  bool WaitForFile(const std::string& path, int ms);
  // Writes the .APP file of `base` in Folder() and returns the command that makes it.
  std::string MakeCommand(const std::string& base);
  // Connects, passing time between attempts, until a channel comes back or `ms` have passed.
  platform::DdeChannel ConnectWithin(int ms);
  // Passes time in small steps until `command` is answered or `ms` have passed; its Answer.
  std::int32_t AwaitAnswer(platform::DdeCommand command, int ms);

  std::unique_ptr<DdeClientHarness> harness_;
  platform::DdeClient* client_ = nullptr;
  int answers_heard_ = 0;  // calls of the client's OnAnswer callback

 private:
  std::string folder_;
};

}  // namespace dde_contract
