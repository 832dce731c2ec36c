// Tokens that state-changing designer links and forms carry.
//
// A token is the session id and the action, sealed with the server's secret
// for the designer-action purpose: it cannot be made without the secret,
// opens for no other purpose, belongs to one browser session and to one
// action, so a forged link (a delete request planted on another site, a
// token copied from a rename form into a delete link) changes nothing.
// Thread-safe (the process-wide sealer is).
#ifndef FENNICK_DESIGNER_ACTION_TOKEN_H_
#define FENNICK_DESIGNER_ACTION_TOKEN_H_

#include <string>
#include <string_view>

namespace fennick::designer {

// The name of the query or form field that carries the token.
inline constexpr std::string_view kTokenField = "tk";

// A fresh token for `action` in session `session_id`. Raises an Error when
// no sealer is installed.
std::string MakeActionToken(std::string_view session_id, std::string_view action);

// Whether `token` was made for this session and action. Never raises: a
// server without a sealer accepts no token.
bool CheckActionToken(std::string_view token, std::string_view session_id,
                      std::string_view action);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_ACTION_TOKEN_H_
