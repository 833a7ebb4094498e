// ChildProcess on Windows: CreateProcess of this same test executable in its helper mode
// ("--store-helper" and the arguments), with two anonymous pipes.
#include "child_process.h"

#include <windows.h>

#include <cstdio>

namespace store_test {

struct ChildProcess::Impl {
  HANDLE process = nullptr;
  HANDLE to_child = nullptr;
  HANDLE from_child = nullptr;
  bool ended = false;
  int exit_code = -1;
};

namespace {

// Quotes one argument for the command line as the C runtime splits it again.
std::string Quote(const std::string& arg) {
  std::string out = "\"";
  int backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') out.append(static_cast<std::size_t>(backslashes * 2 + 1), '\\');
    else out.append(static_cast<std::size_t>(backslashes), '\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(static_cast<std::size_t>(backslashes * 2), '\\');
  return out + "\"";
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::StartHelper(const std::vector<std::string>& args) {
  // A start can fail for a moment on a loaded machine (wine's server busy with the previous child's
  // end); the sweeps test what happens once a writer runs, not its start, so it is tried again.
  for (int attempt = 1;; ++attempt) {
    std::unique_ptr<ChildProcess> child = StartOnce(args);
    if (child || attempt == 3) {
      if (!child) fprintf(stderr, "could not start the store helper: error %lu\n", GetLastError());
      return child;
    }
    Sleep(200);
  }
}

std::unique_ptr<ChildProcess> ChildProcess::StartOnce(const std::vector<std::string>& args) {
  char exe[MAX_PATH];
  if (GetModuleFileNameA(nullptr, exe, MAX_PATH) == 0) return nullptr;
  std::string command = Quote(exe) + " --store-helper";
  for (const std::string& a : args) command += " " + Quote(a);

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE in_read, in_write, out_read, out_write;
  if (!CreatePipe(&in_read, &in_write, &inherit, 0)) return nullptr;
  if (!CreatePipe(&out_read, &out_write, &inherit, 0)) {
    CloseHandle(in_read);
    CloseHandle(in_write);
    return nullptr;
  }
  // Only the child's ends are inherited.
  SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read;
  startup.hStdOutput = out_write;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &startup, &info);
  CloseHandle(in_read);
  CloseHandle(out_write);
  if (!started) {
    CloseHandle(in_write);
    CloseHandle(out_read);
    return nullptr;
  }
  CloseHandle(info.hThread);
  auto impl = std::make_unique<Impl>();
  impl->process = info.hProcess;
  impl->to_child = in_write;
  impl->from_child = out_read;
  return std::unique_ptr<ChildProcess>(new ChildProcess(std::move(impl)));
}

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ChildProcess::~ChildProcess() {
  if (!impl_->ended) Kill();
  CloseHandle(impl_->to_child);
  CloseHandle(impl_->from_child);
  CloseHandle(impl_->process);
}

bool ChildProcess::WriteLine(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  return WriteFile(impl_->to_child, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

std::string ChildProcess::ReadLine() {
  std::string line;
  char c;
  DWORD n = 0;
  while (ReadFile(impl_->from_child, &c, 1, &n, nullptr) && n == 1 && c != '\n') line.push_back(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void ChildProcess::Kill() {
  if (impl_->ended) return;
  TerminateProcess(impl_->process, 137);
  Wait();
}

int ChildProcess::Wait() {
  if (impl_->ended) return impl_->exit_code;
  WaitForSingleObject(impl_->process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(impl_->process, &code);
  impl_->ended = true;
  impl_->exit_code = static_cast<int>(code);
  return impl_->exit_code;
}

void* OpenUnshared(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

void CloseUnshared(void* handle) {
  if (handle != nullptr) CloseHandle(handle);
}

}  // namespace store_test
