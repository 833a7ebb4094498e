// What the two lists (the application list, the activity log) share of their part in the browse
// engine: the Program context, the window they are shown in, running their update procedure
// through the global request and response codes, and the engine's standard warnings.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "browse/page_browse.h"

namespace procedures {

struct Program;

class ListInstance : public browse::BrowseInstance {
 public:
  // The update procedure reads the global request code and leaves its outcome in the response.
  using UpdateProcedure = std::function<void(Program&)>;

  // Calls the update procedure with `request` as the global request code; its response, or
  // cancelled when it left none.
  std::int32_t RunUpdateProcedure(std::int32_t request) override;
  void ShowWarning(std::int32_t id, std::string_view first) override;

  // The window the list is shown in, from its opening on.
  void Attach(rt::Window& window) { window_ = &window; }

 protected:
  ListInstance(Program& program, UpdateProcedure update) : program_(program), update_(std::move(update)) {}
  // Posts an accepted event to `button` of the list's window.
  void Press(int button) {
    if (window_) window_->Post(rt::EventKind::Accepted, button);
  }

  Program& program_;
  rt::Window* window_ = nullptr;

 private:
  UpdateProcedure update_;
};

}  // namespace procedures
