// The Program context: the process-wide state that start-up creates and every procedure receives by
// reference (request and response codes, the record store's state with its use counts and record
// buffers, the output file's name, the runtime and the platform services).
// Plain data with no behaviour: the shell makes it, the window procedures and what they call use it.
#pragma once

#include <cstdint>

#include "platform/fixed_string.h"
#include "runtime/requests.h"
#include "files/files.h"

namespace rt {
class Runtime;
}

namespace platform {
class DdeClient;
class DirectoryLister;
class ProgramStarter;
}  // namespace platform

namespace procedures {

// Values of the global request and response codes.
using rt::ChangeRecord;
using rt::DeleteRecord;
using rt::InsertRecord;
using rt::RequestCancelled;
using rt::RequestCompleted;
using rt::SelectRecord;

// The platform services the procedures reach the world through: the real ones, made by the entry
// point, or a test's fakes. They outlive the Program.
struct Services {
  platform::DdeClient& dde;
  platform::ProgramStarter& starter;
  platform::DirectoryLister& lister;
};

struct Program {
  Program(rt::Runtime& runtime_in, Services& services_in) : runtime(runtime_in), services(services_in) {}
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  rt::Runtime& runtime;
  Services& services;
  // What a called procedure is asked to do (0 none, or one of the request values above).
  std::int32_t GlobalRequest = 0;
  // The outcome of the procedure that has just returned (RequestCompleted / RequestCancelled).
  std::int32_t GlobalResponse = 0;
  // The record buffers APP and TMP, the two record files, their use counts (files.AppsUseCount,
  // files.TempFileUseCount), the store's current and kept errors.
  files::Files files;
};

}  // namespace procedures
