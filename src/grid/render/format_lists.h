// Entries of the column format lists.
//
// Each column format call appends one entry, key + "|=|" + value + "|||",
// to its list (a hidden column appends just key + "|||"); when a grid
// displays, every non-empty list gets "|||" in front, so an entry reads
// "|||" + key + "|=|" + value + "|||". The lookups here find an entry at the
// start of a list or right after "|||", so a key never matches the tail of a
// longer key ("ID" is not found in "|||CUSTOMERID|=|..."), and they work on
// a list before and after that normalisation alike.
#ifndef FENNICK_GRID_RENDER_FORMAT_LISTS_H_
#define FENNICK_GRID_RENDER_FORMAT_LISTS_H_

#include <optional>
#include <string>
#include <string_view>

namespace fennick {

// A column name or cell text as format keys compare it: upper case, by the
// script world's simple Unicode mapping.
std::string FormatKey(std::string_view text);

// Appends key + "|=|" + value + "|||" to list.
void AppendEntry(std::string& list, std::string_view key, std::string_view value);

// The value of the first entry of list whose key is exactly `key` (the text
// up to the next "|||" or the end), or nullopt when there is none.
std::optional<std::string_view> FindEntry(std::string_view list, std::string_view key);

// As FindEntry, comparing keys without regard to case; `upper_key` is
// already FormatKey'd. For the caption list, whose keys keep the case the
// page wrote.
std::optional<std::string_view> FindEntryAnyCase(std::string_view list,
                                                 std::string_view upper_key);

// Whether list holds the bare entry key + "|||" (the hidden-column list).
bool HasBareEntry(std::string_view list, std::string_view key);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_FORMAT_LISTS_H_
