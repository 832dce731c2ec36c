// The grid's state in the address bar (UrlState): after each rendering the
// page's address gets one query parameter holding what the hidden state
// fields hold, so that a reload, a bookmark, Back or a shared link shows the
// same page of the same report; a plain GET that carries the parameter is
// read as if its fields had been posted.
//
// The parameter's value is URL-safe Base64 of the state fields as
// "name=value&..." (values URL-encoded, the texts the hidden fields carry),
// leaving out fields at their first-request values. The sealed orders
// (DefaultSortOrder, RequiredSortOrder) are not written: a GET is a first
// request to the page, which sets them again itself. Nothing written is
// bound to a session, so a link opens the same way in any session or
// browser.
//
// Trust: the address is as untrusted as a posted form and goes through the
// same reading (ReadRequestFields): numbers that do not parse fall back,
// sort lists keep only column numbers, the filter is checked against the
// grid's columns by the strict filter grammar before any SQL. Only the
// state fields are taken from it, never a filter-bar submission, a
// postback argument (so a link cannot start an export) or the database
// type. An address that carries sealed orders anyway (made by hand) has
// them opened as the form's are; when one does not open (tampered, or
// sealed with another secret) the whole state is ignored and the grid
// starts as on a first request.
#ifndef FENNICK_GRID_STATE_URL_STATE_H_
#define FENNICK_GRID_STATE_URL_STATE_H_

#include <optional>
#include <string>
#include <string_view>

#include "fennick/page.h"

namespace fennick {

struct GridObject;

// The query parameter that carries the state.
inline constexpr char kUrlStateKey[] = "fnkgrid";

// The parameter's value for the grid's state as its hidden fields carry it
// now; "" when every field is at its first-request value.
std::string UrlStateToken(const GridObject& g);

// The state fields a token holds, or nullopt when the token does not
// decode (bad Base64, too long, too many fields). Fields other than the
// state fields are dropped.
std::optional<FieldList> DecodeUrlStateToken(std::string_view token);

// Reads the state of the request's address into the grid, when the request
// is a GET (no form fields) whose query has the parameter. Values the page
// set on the grid since it was created (StartRec, PageSize,
// DefaultSortOrder, RequiredSortOrder) stay the page's.
void ReadUrlState(GridObject& g);

// Appends the script that writes the state into the address bar
// (history.replaceState), removing the parameter when the state is all
// first-request values.
void AppendUrlStateScript(const GridObject& g, std::string& out);

}  // namespace fennick

#endif  // FENNICK_GRID_STATE_URL_STATE_H_
