// The platform services for tests that run Main or the whole program: the fake IDE (running, so the
// window opens connected and without its warning, unless a test stops it), a fake program starter
// and the real directory lister.
#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/directory_lister.h"
#include "fake_ide.h"
#include "procedures/program.h"

namespace ide_test {

struct FakeServices {
  explicit FakeServices(platform::Clock& clock) : ide(clock) {}
  doubles::FakeIde ide;
  doubles::FakeProgramStarter starter;
  std::unique_ptr<platform::DirectoryLister> lister = platform::MakeDirectoryLister();
  procedures::Services services{ide, starter, *lister};
};

}  // namespace ide_test
