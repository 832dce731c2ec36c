// The format-mismatch error of the cell writer.
#include "grid/render/format_mismatch.h"

#include "fennick/error.h"
#include "grid/render/cell_formats.h"

namespace fennick {
namespace {

constexpr size_t kShownValueBytes = 60;

// The format as the page wrote the call that set it.
std::string FormatCall(const ColumnFormat& f) {
  switch (f.kind) {
    case CellFormatKind::kDate:
      return "DateColumn(\"" + f.entry + "\")";
    case CellFormatKind::kNumber: {
      const char* name = f.number_kind == '2'   ? "PercentColumn"
                         : f.number_kind == '3' ? "CurrencyColumn"
                                                : "NumberColumn";
      return std::string(name) + "(" + std::to_string(f.decimals) + ")";
    }
    case CellFormatKind::kTemplate:
      // A template's number token (#MONEY#, #PERCENT#, #NUMBER#) is what
      // needed a number.
      return f.entry.compare(0, 8, "<a href=") == 0 ? "LinkColumn" : "ReplaceColumn";
    case CellFormatKind::kBoolean:
      return "BoolColumn";
    case CellFormatKind::kRegex:
      return "RegExColumn";
    case CellFormatKind::kPlain:
      break;
  }
  return "no format";
}

const char* Wanted(const ColumnFormat& f) {
  switch (f.kind) {
    case CellFormatKind::kDate: return "a date";
    case CellFormatKind::kBoolean: return "True or False";
    default: return "a number";
  }
}

}  // namespace

std::string FormatMismatchDescription(const ColumnFormat& format, std::string_view value) {
  std::string shown(value.substr(0, kShownValueBytes));
  if (value.size() > kShownValueBytes) {
    // Cut on a character boundary: drop the continuation bytes of a
    // character the cut split, and the lead byte before them.
    while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80) {
      shown.pop_back();
    }
    if (!shown.empty() && static_cast<unsigned char>(shown.back()) >= 0xC0) shown.pop_back();
    shown.append("...");
  }
  std::string out = "Type mismatch: column ";
  out.append(format.table.empty() ? format.name : format.table + "." + format.name);
  out.append(" has the format ");
  out.append(FormatCall(format));
  out.append(", and its value \"");
  out.append(shown);
  out.append("\" is not ");
  out.append(Wanted(format));
  return out;
}

void RaiseFormatMismatch(const ColumnFormat& format, std::string_view value) {
  throw Error(kErrTypeMismatch, FormatMismatchDescription(format, value), "Fennick");
}

}  // namespace fennick
