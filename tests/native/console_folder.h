// A fresh folder made current for each test, where nightjar.com's command lines run as the console
// program runs them: the console backend on virtual time, the fake IDE and a program starter that
// starts nothing. Each fixture brings the directory lister it needs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "console/console_command.h"
#include "console/console_runner.h"
#include "fake_ide.h"
#include "platform/directory_lister.h"
#include "procedures/program.h"
#include "runtime/console/console_backend.h"
#include "runtime/runtime.h"
#include "store/store_test_support.h"

class ConsoleFolderTest : public ::testing::Test {
 protected:
  ConsoleFolderTest() {
    ide_.SetScheduler([this](std::int64_t due) { waiter_.At(due, [this] { ide_.Pump(); }); });
    ide_.SetOnWritten([this](const std::string& path) {
      waiter_.Changed(std::filesystem::path(path).parent_path().string());
    });
  }
  virtual platform::DirectoryLister& Lister() = 0;

  // Runs the command line as nightjar.com would; its exit code, with out_ and err_ holding what it
  // printed.
  int Nightjar(const std::vector<std::string>& arguments) {
    auto parsed = console::ParseCommand(arguments);
    EXPECT_TRUE(parsed.command) << parsed.error;
    if (!parsed.command) return -1;
    out_.str("");
    err_.str("");
    rt::console::ConsoleBackend backend(waiter_, err_, parsed.command->yes);
    rt::Runtime runtime(backend);
    procedures::Services services{ide_, starter_, Lister()};
    return console::RunCommand(*parsed.command, runtime, services, out_, err_);
  }

  store_test::InFreshDirectory in_folder_;
  const std::filesystem::path folder_ = in_folder_.path();
  rt::console::VirtualWaiter waiter_;
  doubles::FakeIde ide_{waiter_.virtual_clock()};
  doubles::FakeProgramStarter starter_;
  std::ostringstream out_;
  std::ostringstream err_;
};
