// The list instances' shared part.
#include "procedures/list_instance.h"

#include "messages/standard_warnings.h"
#include "procedures/program.h"

namespace procedures {

std::int32_t ListInstance::RunUpdateProcedure(std::int32_t request) {
  program_.GlobalRequest = request;
  program_.GlobalResponse = 0;
  if (update_) update_(program_);
  return program_.GlobalResponse != 0 ? program_.GlobalResponse : RequestCancelled;
}

void ListInstance::ShowWarning(std::int32_t id, std::string_view first) {
  messages::WarningContext context = program_.files.Warnings(program_.runtime);
  messages::ShowStandardWarning(context, id, first);
}

}  // namespace procedures
