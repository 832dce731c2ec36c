// A value typed into the filter bar, read as the grid shows its column.
//
// When the filter bar posts, the grid does not know its columns yet, so the
// clause is built from the typed text alone (request_state.h): "$40,000"
// becomes the text '$40,000', which no money column equals. Once the query
// has described its columns, the clause is written again from what the
// user typed, read the way the column displays its values: with the
// column's format (CurrencyColumn, PercentColumn, NumberColumn, DateColumn)
// and the page's regional settings (its LCID, else the server's locale).
#ifndef FENNICK_GRID_STATE_TYPED_FILTER_VALUE_H_
#define FENNICK_GRID_STATE_TYPED_FILTER_VALUE_H_

#include <optional>
#include <string>
#include <string_view>

namespace fennick {

struct GridObject;
struct GridColumn;

// The typed text as a filter literal for a column of the given ADO type
// whose number format entry (NumberColumn "1", PercentColumn "2",
// CurrencyColumn "3" followed by the decimals; "" for none) is
// `number_entry`: a number in the invariant form ("40000", "0.12" for
// "12%" in a percent column) or a date as "#yyyy-mm-dd hh:nn:ss#".
// nullopt when the text does not read as such a value (it then stays the
// text it was), or when the column is neither a number nor a date.
std::optional<std::string> TypedFilterLiteral(std::string_view text, int ado_type,
                                              std::string_view number_entry,
                                              std::string_view locale = {});

// Writes the filter bar's new clause again for `column`, the column it
// names, when its value reads as the column's kind of value in its display
// form; a LIKE clause keeps its text. Changes g.req.filter_expression (and
// g.req.clause) only then.
void RetypeFilterClause(GridObject& g, const GridColumn& column);

}  // namespace fennick

#endif  // FENNICK_GRID_STATE_TYPED_FILTER_VALUE_H_
