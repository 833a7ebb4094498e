// The batch's progress as text: see batch_observer.h.
#include "ide/batch_observer.h"

#include "ide/pool_schedule.h"

namespace ide {

std::string BatchProgress::Text() const {
  std::string text = std::to_string(ended) + " of " + std::to_string(chosen);
  if (left) text += ", " + TimeLeftText(*left);
  return text;
}

}  // namespace ide
