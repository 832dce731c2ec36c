// Cell values as the column formats read them.

#include "grid/render/cell_values.h"

#include "fennick/error.h"
#include "platform/intl/format.h"
#include "platform/script/evaluator.h"

namespace fennick {

void AppendValueText(const Variant& value, std::string& out) {
  if (value.type() == VarType::kDate) {
    out.append(script::ValueToText(value));
    return;
  }
  value.AppendTo(out);
}

bool IsNumericValue(const Variant& value, std::string_view text) {
  if (value.IsNumber()) return true;
  if (!value.IsString()) return false;
  double ignored = 0;
  return ParseNumber(text, ignored) || intl::ParseLocaleNumber(text, ignored);
}

double NumericValue(const Variant& value, std::string_view text) {
  if (value.IsNumber() || value.type() == VarType::kDate) return value.AsDouble();
  double number = 0;
  // Databases hand numbers over in the invariant form; a text the page's
  // locale writes ("1.234,5" on a German page) is read as that locale reads it.
  if (value.IsString() && (ParseNumber(text, number) || intl::ParseLocaleNumber(text, number))) {
    return number;
  }
  RaiseTypeMismatch();
}

std::optional<double> DateValue(const Variant& value, std::string_view text) {
  if (value.type() == VarType::kDate || value.IsNumber()) return value.AsDouble();
  double date = 0;
  if (value.IsString() && intl::ParseLocaleDate(text, date)) return date;
  return std::nullopt;
}

void RaiseTypeMismatch() { throw Error(kErrTypeMismatch, "Type mismatch", "Fennick"); }

}  // namespace fennick
