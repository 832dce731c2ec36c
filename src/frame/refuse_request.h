// Refusing a request the component cannot trust: a forged or misplaced
// sealed value, a malformed download link. The refusal replaces whatever
// the page wrote with a short plain-text message and ends the page, so
// nothing the request asked for runs after it.
#ifndef FENNICK_FRAME_REFUSE_REQUEST_H_
#define FENNICK_FRAME_REFUSE_REQUEST_H_

#include <string_view>

namespace fennick {

class Response;

// Clears the response, sets `status` ("400 Bad Request") and a text/plain
// body of `message`, and ends the page (raises the page's end signal).
// The message is a fixed text: it must never repeat what the request sent.
[[noreturn]] void RefuseRequest(Response& response, std::string_view status,
                                std::string_view message);

}  // namespace fennick

#endif  // FENNICK_FRAME_REFUSE_REQUEST_H_
