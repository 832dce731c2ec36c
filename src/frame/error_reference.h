// Errors a page shows without the server's internals.
//
// A database's message can name the server's host, address and port, a
// socket or a file path, and the SQL that failed names tables and hidden
// filters. None of that is for the page's reader. The whole text goes to
// the server's log under a reference number; the page shows the message
// with those parts taken out, and the same number, so that an
// administrator finds the one from the other.
#ifndef FENNICK_FRAME_ERROR_REFERENCE_H_
#define FENNICK_FRAME_ERROR_REFERENCE_H_

#include <string>
#include <string_view>

namespace fennick {

// Writes one line to the running page's server log (stderr when no page
// runs): the reference, the page's URL and `detail` with its line breaks
// made blanks. Returns the reference: 8 random hexadecimal digits.
std::string LogWithReference(std::string_view detail);

// The message without what locates the server: quoted host names and
// addresses ("at \"db1\"", "on '10.0.0.5:3306'", "@'host'"), ports
// (", port 5432"), addresses in brackets, socket and file paths. The rest
// of the message (what failed, and why) is kept word for word.
std::string WithoutServerDetails(std::string_view message);

// For a database error shown in a page: logs `description` and, when not
// empty, `sql`, and returns the description without server details
// followed by " (reference N)". Plain text: the caller encodes it for HTML.
std::string DatabaseErrorForPage(std::string_view description, std::string_view sql = {});

}  // namespace fennick

#endif  // FENNICK_FRAME_ERROR_REFERENCE_H_
