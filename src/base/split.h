// Splitting delimited lists: column lists, order lists, option lists and the
// graph's rows of values.
//
// Items are views into the text; they live as long as the text does. Pure
// functions, thread-safe.
#ifndef FENNICK_BASE_SPLIT_H_
#define FENNICK_BASE_SPLIT_H_

#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// Splits `text` at every `separator`. An empty text gives no items, as the
// script world's Split does; "a," gives "a" and "". An empty separator gives
// the whole text as one item.
std::vector<std::string_view> SplitView(std::string_view text, std::string_view separator);
// The same, as owned strings.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);
// Splits at `separator`, trims blanks and tabs off every item, and drops the
// items left empty: ", a ,,b" gives "a" and "b".
std::vector<std::string_view> SplitTrimmed(std::string_view text, std::string_view separator);

}  // namespace fennick

#endif  // FENNICK_BASE_SPLIT_H_
