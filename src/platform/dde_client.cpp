// The texts of the DDE last-error codes, shared by every DdeClient implementation so that log lines
// and messages read the same whichever client produced them.
#include "platform/dde_client.h"

namespace platform {

std::string DdeErrorText(std::int32_t code) {
  switch (code) {
    case kDdeNoError:
      return "No error";
    case kDdeInvalidChannel:
      return "Invalid DDE channel";
    case kDdeChannelNotOpen:
      return "DDE channel not open";
    case kDdeNotProcessed:
      return "DDE command not processed by the server";
    case kDdeServerBusy:
      return "DDE server busy";
    case kDdeTimeOut:
      return "DDE time-out: no acknowledgement from the server";
    case kDdeSystemError:
      return "DDE system error";
    default:
      return "DDE error " + std::to_string(code);
  }
}

}  // namespace platform
