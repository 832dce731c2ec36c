// Sealed per-session tokens for designer actions.
#include "designer/action_token.h"

#include "fennick/error.h"
#include "platform/crypto/seal.h"

namespace fennick::designer {

std::string MakeActionToken(std::string_view session_id, std::string_view action) {
  return SealParts(SealPurpose::kDesignerAction, {session_id, action});
}

bool CheckActionToken(std::string_view token, std::string_view session_id,
                      std::string_view action) {
  // An empty session id would make every cookie-less request share one.
  if (token.empty() || session_id.empty()) return false;
  try {
    auto parts = OpenSealedParts(SealPurpose::kDesignerAction, token, 2);
    return parts && (*parts)[0] == session_id && (*parts)[1] == action;
  } catch (const Error&) {
    return false;  // no sealer installed: nothing is accepted
  }
}

}  // namespace fennick::designer
