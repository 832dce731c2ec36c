// Session ids from a request's cookies.
#include "platform/web/page_sessions.h"

namespace fennick {

std::vector<std::string> SessionCookieIds(const FieldList& cookies) {
  std::vector<std::string> ids;
  const std::vector<std::string>* values = cookies.Values(kSessionCookie);
  if (!values) return ids;
  for (const std::string& id : *values) {
    bool ours = id.size() == 32;
    for (char c : id) ours = ours && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
    if (ours) ids.push_back(id);
  }
  return ids;
}

}  // namespace fennick
