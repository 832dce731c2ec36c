// Object names as pages write them: "Orders", "[Order Details]",
// "sales.orders", "`x`", "\"x\"". Used to recognise a bare table or
// procedure name given as a command, and to write it back for an engine.
#ifndef FENNICK_PLATFORM_DATA_OBJECT_NAME_H_
#define FENNICK_PLATFORM_DATA_OBJECT_NAME_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::data {

// The parts of a possibly qualified name without their delimiters, or
// nullopt when the text is anything but a name (a statement, say).
std::optional<std::vector<std::string>> SplitObjectName(std::string_view text);
// The parts in double quotes (doubled inside), joined by ".", as SQLite and
// PostgreSQL read delimited identifiers.
std::string QuoteObjectName(const std::vector<std::string>& parts);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_OBJECT_NAME_H_
