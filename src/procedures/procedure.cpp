// The steps every window procedure shares.
#include "procedures/procedure.h"

#include "runtime/event.h"
#include "runtime/runtime.h"
#include "runtime/window.h"

namespace procedures {

std::int32_t TakeRequest(Program& program) {
  std::int32_t request = program.GlobalRequest;
  program.GlobalRequest = 0;
  program.GlobalResponse = 0;
  return request;
}

void GiveResponse(Program& program, std::int32_t response) {
  program.GlobalResponse = response != 0 ? response : RequestCancelled;
}

void DiscardRightClick(rt::Runtime& runtime) {
  if (runtime.LastKey() == rt::key::kMouseRight) runtime.SetLastKey(0, 0);
}

void OnRejected(rt::Window& window) {
  window.runtime().Beep();
  window.Display(window.Field());
  window.Select(window.Field());
}

}  // namespace procedures
