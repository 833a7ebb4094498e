// The DDE server of ide-standin: see standin_server.h and README.md.
#include "standin_server.h"

#include <fstream>
#include <memory>
#include <sstream>

namespace standin {

using ide_standin::EqualsIgnoringCase;
using ide_standin::IdeCommand;
using ide_standin::IdeCommandKind;
using ide_standin::kInputMissingError;
using ide_standin::kUnknownCommandError;

Server* Server::instance_ = nullptr;

namespace {

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// False when the file cannot be opened.
bool ReadText(const std::string& path, std::string& text) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream read;
  read << file.rdbuf();
  text = read.str();
  return true;
}

std::string ReadText(const std::string& path) {
  std::string text;
  ReadText(path, text);
  return text;
}

// The stand-in's own rule for what a project builds: a line "TARGET=DLL" in the .APP file.
bool BuildsDll(const std::string& app_text) {
  std::istringstream lines(app_text);
  std::string line;
  while (std::getline(lines, line)) {
    std::string compact;
    for (char c : line) {
      if (c != ' ' && c != '\t' && c != '\r') compact += c;
    }
    if (EqualsIgnoringCase(compact, "TARGET=DLL")) return true;
  }
  return false;
}

// A slow write's pieces: the first goes in when the file is made, the others at even steps over
// write_slowly_ms, the last at its end, and the file is closed right after the last, so that it is
// whole only once it is closed.
constexpr int kSlowPieces = 4;

}  // namespace

// ---- Log

Log::Log(const std::string& path) {
  if (!path.empty()) file_ = std::fopen(path.c_str(), "ab");
}

Log::~Log() {
  if (file_ != nullptr) std::fclose(file_);
}

void Log::Line(const std::string& text) {
  if (file_ == nullptr) return;
  // The system's clock in milliseconds (since 1601), which the logs of several stand-ins share.
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const unsigned long long ticks = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  const unsigned long long ms = ticks / 10000;
  std::fprintf(file_, "%llu %s\r\n", ms, text.c_str());
  std::fflush(file_);
}

// ---- Server

Server::Server(const Options& options, Log& log) : options_(options), log_(log) { instance_ = this; }

Server::~Server() {
  for (auto& [id, action] : timers_) KillTimer(window_, id);
  if (dde_ != 0) {
    DdeNameService(dde_, nullptr, nullptr, DNS_UNREGISTER);
    if (service_ != nullptr) DdeFreeStringHandle(dde_, service_);
    if (topic_ != nullptr) DdeFreeStringHandle(dde_, topic_);
    DdeUninitialize(dde_);
  }
  instance_ = nullptr;
}

bool Server::Start(HWND window) {
  window_ = window;
  UINT status = DdeInitializeA(&dde_, Callback,
                               APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_SKIP_REGISTRATIONS |
                                   CBF_SKIP_UNREGISTRATIONS,
                               0);
  if (status != DMLERR_NO_ERROR) {
    dde_ = 0;
    log_.Line("DDE initialisation failed: " + std::to_string(status));
    return false;
  }
  service_ = DdeCreateStringHandleA(dde_, kService, CP_WINANSI);
  topic_ = DdeCreateStringHandleA(dde_, kTopic, CP_WINANSI);
  if (DdeNameService(dde_, service_, nullptr, DNS_REGISTER) == nullptr) {
    log_.Line("registering the service failed: " + std::to_string(DdeGetLastError(dde_)));
    return false;
  }
  return true;
}

void Server::OnTimer(UINT_PTR id) {
  KillTimer(window_, id);
  auto it = timers_.find(id);
  if (it == timers_.end()) return;
  std::function<void()> action = std::move(it->second);
  timers_.erase(it);
  action();
}

void Server::After(int ms, std::function<void()> action) {
  UINT_PTR id = next_timer_++;
  timers_[id] = std::move(action);
  SetTimer(window_, id, static_cast<UINT>(ms > 0 ? ms : 1), nullptr);
}

std::string Server::Text(HSZ handle) {
  if (handle == nullptr) return "";
  char text[256] = {};
  DdeQueryStringA(dde_, handle, text, sizeof text, CP_WINANSI);
  return text;
}

HDDEDATA CALLBACK Server::Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data, ULONG_PTR,
                                   ULONG_PTR) {
  Server* server = instance_;
  if (server == nullptr) return nullptr;
  switch (type) {
    case XTYP_CONNECT:  // hsz1: topic, hsz2: service
      if (DdeCmpStringHandles(hsz2, server->service_) != 0) return nullptr;
      server->log_.Line("connect topic=" + server->Text(hsz1));
      return reinterpret_cast<HDDEDATA>(TRUE);
    case XTYP_WILDCONNECT:
      return server->WildConnect(hsz1, hsz2);
    case XTYP_EXECUTE:
      return server->Execute(conversation, data);
    case XTYP_REQUEST:  // hsz2: item
      return server->Request(hsz2, format);
    case XTYP_DISCONNECT:
      server->log_.Line("disconnect");
      return nullptr;
    default:
      return nullptr;
  }
}

HDDEDATA Server::WildConnect(HSZ topic, HSZ service) {
  if (service != nullptr && DdeCmpStringHandles(service, service_) != 0) return nullptr;
  log_.Line("connect topic=" + (topic != nullptr ? Text(topic) : std::string("*")));
  // One conversation on the topic asked for, or on our own topic for a wildcard; the list ends
  // with an empty pair.
  HSZPAIR pairs[2] = {{service_, topic != nullptr ? topic : topic_}, {nullptr, nullptr}};
  return DdeCreateDataHandle(dde_, reinterpret_cast<LPBYTE>(pairs), sizeof pairs, 0, nullptr, 0, 0);
}

HDDEDATA Server::Refuse(int number, const std::string& message) {
  error_number_ = number;
  error_message_ = message;
  log_.Line("refused " + std::to_string(number) + " " + message);
  return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
}

HDDEDATA Server::Execute(HCONV conversation, HDDEDATA data) {
  DWORD size = DdeGetData(data, nullptr, 0, 0);
  std::string command(size, '\0');
  if (size > 0) DdeGetData(data, reinterpret_cast<LPBYTE>(command.data()), size, 0);
  command = command.substr(0, command.find('\0'));
  ++commands_;
  log_.Line("execute " + command);
  if (commands_ == options_.die_at_command) {
    // Ends the process after this command's answer has gone out, with no word to its clients.
    After(options_.die_after_ms, [this] {
      log_.Line("dying");
      TerminateProcess(GetCurrentProcess(), 3);
    });
  }

  if (commands_ == options_.end_at_command) {
    // Held unanswered (DDEML queues the conversation's transactions meanwhile) until the
    // conversation is ended, once the callback has returned.
    log_.Line("ending the conversation");
    After(0, [this, conversation] { EndConversation(conversation); });
    return CBR_BLOCK;
  }

  if (commands_ <= options_.busy_commands) {
    // As an IDE busy with something else: the command is not carried out, and may be sent again.
    log_.Line("answered busy");
    return reinterpret_cast<HDDEDATA>(DDE_FBUSY);
  }

  const bool delayed = commands_ >= options_.ack_delay_from &&
                       (options_.ack_delay_commands == 0 ||
                        commands_ < options_.ack_delay_from + options_.ack_delay_commands);
  if (options_.ack_delay_ms > 0 && delayed) {
    // Busy as an IDE that is compiling: nothing else is handled meanwhile, connects included.
    log_.Line("busy " + std::to_string(options_.ack_delay_ms) + " ms");
    Sleep(static_cast<DWORD>(options_.ack_delay_ms));
  }

  if (options_.quit_command && command == "[Quit]") {
    log_.Line("quit");
    // After the acknowledgement has gone out.
    PostMessageA(window_, WM_CLOSE, 0, 0);
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
  }
  const bool refused = options_.refuse || (!options_.refuse_containing.empty() &&
                                           command.find(options_.refuse_containing) != std::string::npos);
  if (refused) return Refuse(options_.error_number, options_.error_message);
  std::optional<IdeCommand> parsed = ide_standin::ParseIdeCommand(command);
  if (!parsed) return Refuse(kUnknownCommandError, "Unknown command: " + command);
  if (!IsFile(parsed->input)) return Refuse(kInputMissingError, "File not found: " + parsed->input);

  log_.Line("accepted");
  if (options_.never_write) return reinterpret_cast<HDDEDATA>(DDE_FACK);
  if (options_.write_at_ack) {
    WriteResult(*parsed);
  } else {
    IdeCommand result = *parsed;
    After(options_.write_delay_ms, [this, result] { WriteResult(result); });
  }
  return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

void Server::EndConversation(HCONV conversation) {
  if (DdeDisconnect(conversation)) return;
  // Wine's DDEML ends only a client's side this way; destroying the conversation's window ends a
  // server's, with a WM_DDE_TERMINATE to the client.
  CONVINFO info{};
  info.cb = sizeof info;
  if (DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0 && info.hwnd != nullptr) DestroyWindow(info.hwnd);
}

void Server::WriteResult(const IdeCommand& command) {
  std::string output = command.output;
  std::string content;
  if (command.kind == IdeCommandKind::kExecuteProject) {
    // A build: the project's .APP text decides between program and library.
    output = ide_standin::ReplaceExtension(command.input, BuildsDll(ReadText(command.input)) ? ".DLL" : ".EXE");
    content = "Built by the IDE stand-in from " + command.input + "\r\n";
  } else if (!ReadText(command.input, content)) {
    // Imports and exports: the stand-in's text formats are the same, so each is a copy.
    log_.Line("could not write " + output);
    return;
  }
  // Written afresh, not copied, so that the file bears the time of its writing, as the IDE's do.
  if (options_.write_slowly_ms > 0) return WriteSlowly(output, content);
  std::ofstream file(output, std::ios::binary | std::ios::trunc);
  file << content;
  log_.Line((file.good() ? "wrote " : "could not write ") + output);
}

// One slow write in progress. The handle is closed when the write ends, or when the server goes
// with the write still pending (its timer's action holds the last reference).
struct Server::SlowWrite {
  std::string path;
  std::string content;
  HANDLE file = INVALID_HANDLE_VALUE;
  int pieces_written = 0;
  ~SlowWrite() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};

void Server::WriteSlowly(const std::string& path, const std::string& content) {
  auto write = std::make_shared<SlowWrite>();
  write->path = path;
  write->content = content;
  write->file =
      CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (write->file == INVALID_HANDLE_VALUE) {
    log_.Line("could not write " + path + " (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  log_.Line("writing " + path);
  ContinueSlowWrite(write);
}

void Server::ContinueSlowWrite(std::shared_ptr<SlowWrite> write) {
  // Pieces as even as the length allows.
  const std::size_t size = write->content.size();
  const std::size_t start = size * write->pieces_written / kSlowPieces;
  const std::size_t end = size * (write->pieces_written + 1) / kSlowPieces;
  DWORD written = 0;
  if (end > start && (!WriteFile(write->file, write->content.data() + start, static_cast<DWORD>(end - start),
                                 &written, nullptr) ||
                      written != end - start)) {
    log_.Line("could not write " + write->path + " (error " + std::to_string(GetLastError()) + ")");
    return;  // the handle goes with `write`
  }
  if (++write->pieces_written == kSlowPieces) {
    CloseHandle(write->file);
    write->file = INVALID_HANDLE_VALUE;
    log_.Line("wrote " + write->path);
    return;
  }
  // Each step is timed from the one before, so the pieces cannot overtake each other.
  After(options_.write_slowly_ms / (kSlowPieces - 1), [this, write] { ContinueSlowWrite(write); });
}

HDDEDATA Server::Request(HSZ item, UINT format) {
  std::string name = Text(item);
  std::string value;
  if (format != CF_TEXT) {
    log_.Line("request " + name + " refused: not text");
    return nullptr;
  }
  if (EqualsIgnoringCase(name, "GetErrorNum")) {
    value = std::to_string(error_number_);
  } else if (EqualsIgnoringCase(name, "GetErrorMsg")) {
    value = error_message_;
  } else {
    log_.Line("request " + name + " refused: unknown item");
    return nullptr;
  }
  log_.Line("request " + name + " = " + value);
  return DdeCreateDataHandle(dde_, reinterpret_cast<LPBYTE>(value.data()), static_cast<DWORD>(value.size() + 1), 0,
                             item, CF_TEXT, 0);
}

}  // namespace standin
