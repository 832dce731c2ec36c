// Filter-bar values in the column's display form.
#include "grid/state/typed_filter_value.h"

#include <cstdio>

#include "base/ascii.h"
#include "fennick/variant.h"
#include "grid/grid_object.h"
#include "grid/render/cell_formats.h"
#include "platform/data/filter.h"
#include "platform/intl/format.h"

namespace fennick {
namespace {

// The text without a percent sign at its end (blanks around it allowed),
// or nullopt when it has none.
std::optional<std::string_view> WithoutPercentSign(std::string_view text) {
  text = TrimBlanks(text);
  for (std::string_view sign : {"%", "\u066A", "\uFF05"}) {
    if (text.size() > sign.size() && text.substr(text.size() - sign.size()) == sign) {
      return TrimBlanks(text.substr(0, text.size() - sign.size()));
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> TypedFilterLiteral(std::string_view text, int ado_type,
                                              std::string_view number_entry,
                                              std::string_view locale) {
  double value = 0;
  switch (data::ClassOfType(ado_type)) {
    case data::ValueClass::kNumber: {
      // A percent column shows 0.12 as "12%": the sign divides by 100.
      if (!number_entry.empty() && number_entry[0] == '2') {
        if (auto number = WithoutPercentSign(text)) {
          if (!intl::ParseLocaleNumber(*number, value, locale)) return std::nullopt;
          return FormatDouble(value / 100);
        }
      }
      if (!intl::ParseLocaleNumber(text, value, locale)) return std::nullopt;
      return FormatDouble(value);
    }
    case data::ValueClass::kDate: {
      if (!intl::ParseLocaleDate(text, value, locale)) return std::nullopt;
      const DateParts p = SplitOleDate(value);
      char literal[32];
      std::snprintf(literal, sizeof literal, "#%04d-%02d-%02d %02d:%02d:%02d#", p.year, p.month,
                    p.day, p.hour, p.minute, p.second);
      return std::string(literal);
    }
    default:
      return std::nullopt;
  }
}

void RetypeFilterClause(GridObject& g, const GridColumn& column) {
  GridRequestState& s = g.req;
  if (!s.has_new_clause || s.clause_condition.find('%') != std::string::npos) return;
  const std::string& filter = s.filter_expression;
  if (s.clause.empty() || filter.size() < s.clause.size() ||
      filter.compare(filter.size() - s.clause.size(), s.clause.size(), s.clause) != 0) {
    return;
  }
  const std::optional<std::string_view> entry =
      FindColumnEntry(g.page->number_list, KeysOf(*g.page, column));
  const std::optional<std::string> literal =
      TypedFilterLiteral(s.clause_text, column.ado_type, entry.value_or(std::string_view()));
  if (!literal) return;
  std::string clause = s.clause_field + " " + s.clause_condition + " " + *literal;
  s.filter_expression.replace(filter.size() - s.clause.size(), s.clause.size(), clause);
  s.clause = std::move(clause);
}

}  // namespace fennick
