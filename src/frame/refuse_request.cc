// The refusal of an untrusted request.
#include "frame/refuse_request.h"

#include "fennick/error.h"
#include "fennick/page.h"

namespace fennick {

void RefuseRequest(Response& response, std::string_view status, std::string_view message) {
  try {
    response.Clear();
  } catch (const Error&) {
    // Ignoring errors on purpose: with buffering off the text is gone already.
  }
  response.Status(status);
  response.ContentType("text/plain");
  response.Write(message);
  response.End();
}

}  // namespace fennick
