// The cell writer: one cell's value as the page's column formats show it,
// and the download link or image of a binary cell.

#include "grid/render/cell_writer.h"

#include "fennick/error.h"
#include "frame/date_tokens.h"
#include "frame/text_routines.h"
#include "grid/download_link.h"
#include "grid/render/cell_formats.h"
#include "grid/render/cell_values.h"
#include "grid/render/data_markup.h"
#include "grid/render/format_lists.h"
#include "grid/render/format_mismatch.h"
#include "platform/crypto/seal.h"
#include "platform/intl/format.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

// The lists a grid puts "|||" in front of when it displays. The two style
// lists start with it from their first entry; the OLE list is found
// without it.
std::string GridPageState::*const kNormalisedLists[] = {
    &GridPageState::caption_list, &GridPageState::template_list, &GridPageState::date_list,
    &GridPageState::number_list,  &GridPageState::boolean_list,  &GridPageState::regex_list,
    &GridPageState::hidden_list};

void AppendDate(const ColumnFormat& f, const Variant& value, std::string_view text,
                std::string& out) {
  const std::optional<double> date = DateValue(value, text);
  if (!date) RaiseTypeMismatch();
  if (f.named_date) {
    out.append(intl::FormatDateTime(*date, *f.named_date));
  } else if (f.date_tokens) {
    out.append(FormatDateTokens(*date, f.entry));
  } else {
    out.append(intl::FormatDatePicture(*date, f.entry));
  }
}

void AppendNumber(const ColumnFormat& f, const Variant& value, std::string_view text,
                  std::string& out) {
  const double number = NumericValue(value, text);
  switch (f.number_kind) {
    case '1':
      out.append(intl::FormatNumber(number, f.decimals));
      break;
    case '2':
      out.append(intl::FormatPercent(number, f.decimals));
      break;
    case '3':
      out.append(intl::FormatCurrency(number, f.decimals));
      break;
    default:
      out.append(text);  // no entry the format methods write; shown as it is
      break;
  }
}

void AppendRegex(const GridPageState& page, const ColumnFormat& f, const Variant& value,
                 std::string_view text, std::string& out) {
  std::string digits;
  if (f.digits_first && !IsNumericValue(value, text)) {
    digits = DigitsOnly(text);
    text = digits;
  }
  if (page.allow_html_in_data) {
    out.append(f.regex.Replace(text, f.replacement));
    return;
  }
  // The replacement is the page's markup; the text around the match and
  // the groups it copies come from the row and are written as data.
  out.append(f.regex.Replace(text, f.replacement, [](std::string_view data, std::string& o) {
    AppendDataInMarkup(data, o);
  }));
}

// A value without a format: numbers as they are, dates in the report
// designer's default picture when it set one, other text as it is (with
// line breaks kept in the columnar layout).
void AppendPlain(const GridPageState& page, const Variant& value, std::string_view text,
                 std::string& out) {
  if (!page.default_date_format.empty() && !IsNumericValue(value, text)) {
    if (const std::optional<double> date = DateValue(value, text)) {
      out.append(intl::FormatDatePicture(*date, page.default_date_format));
      return;
    }
  }
  // Data is text: unless the page allowed markup in its data, a value
  // cannot bring tags or script into the page.
  auto append = [&](std::string_view part) {
    if (page.allow_html_in_data) {
      out.append(part);
    } else {
      AppendHtmlEncoded(part, out);
    }
  };
  if (!page.is_columnar) {
    append(text);
    return;
  }
  size_t done = 0;
  for (size_t at = text.find("\r\n"); at != std::string_view::npos;
       at = text.find("\r\n", done)) {
    append(text.substr(done, at - done));
    out.append("<br>");
    done = at + 2;
  }
  append(text.substr(done));
}

// The download token of a column's binary cells: the command, the
// connection string and the column index sealed together, so that the
// link can be used only as written (no part swapped for another text, no
// other column asked for). Made once per column while the texts stay the
// same.
const std::string& DownloadToken(GridObject& g, CellWriterCache& cache, std::string_view command,
                                 std::string_view connection_string, size_t column) {
  if (cache.download_command_of != command ||
      cache.download_connection_of != connection_string) {
    cache.download_tokens.clear();
    cache.download_command_of = command;
    cache.download_connection_of = connection_string;
  }
  if (cache.download_tokens.size() <= column) cache.download_tokens.resize(column + 1);
  std::string& token = cache.download_tokens[column];
  if (token.empty()) {
    // Bound to the reader's session (started here when the page has none)
    // and to a working day, as the designer's sealed statements are.
    token = SealDownloadLink(command, connection_string, column, g.host.session->SessionID(),
                             DownloadClockSeconds() + kSessionSealLifetimeSeconds);
  }
  return token;
}

// The carried query string's pairs as "&amp;"-joined link query text,
// leaving out names the download link uses itself so none arrives twice.
void AppendCarriedQuery(std::string_view query, std::string& out) {
  while (!query.empty()) {
    const size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const std::string name = AsciiLower(UrlDecode(pair.substr(0, pair.find('=')), true));
    if (!pair.empty() && name != "a" && name != "ext" && name != "r" &&
        name != kDownloadTokenKey) {
      out.append("&amp;");
      out.append(HtmlAttributeEscape(pair));
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
}

// The value in the column's format (the cell's style is written around it).
void WriteFormatted(GridObject& g, const ColumnFormat& f, const RowView& row,
                    const Variant& value, std::string_view text, CellWriterCache& cache,
                    std::string& out) {
  switch (f.kind) {
    case CellFormatKind::kDate:
      AppendDate(f, value, text, out);
      break;
    case CellFormatKind::kNumber:
      AppendNumber(f, value, text, out);
      break;
    case CellFormatKind::kTemplate:
      ExpandTemplate(f.tmpl, g, row, value, text, cache.scratch, out);
      break;
    case CellFormatKind::kBoolean:
      out.append(value.AsBool() ? f.true_text : f.false_text);
      break;
    case CellFormatKind::kRegex:
      AppendRegex(*g.page, f, value, text, out);
      break;
    case CellFormatKind::kPlain:
      AppendPlain(*g.page, value, text, out);
      break;
  }
}

}  // namespace

void NormaliseFormatLists(GridPageState& page) {
  for (std::string GridPageState::*list : kNormalisedLists) {
    std::string& text = page.*list;
    // Once is enough: a second grid on the page finds the lists ready.
    if (!text.empty() && text.compare(0, 3, "|||") != 0) text.insert(0, "|||");
  }
}

std::string CellKey(const GridColumn& column) {
  return FormatKey(column.table.empty() ? column.name : column.table + "." + column.name);
}

std::string ColumnCaptionOf(const GridPageState& page, const GridColumn& column) {
  if (!column.table.empty()) {
    if (auto caption = FindEntryAnyCase(page.caption_list, CellKey(column))) {
      return std::string(*caption);
    }
  }
  if (auto caption = FindEntryAnyCase(page.caption_list, FormatKey(column.name))) {
    return std::string(*caption);
  }
  return column.name;
}

bool IsHiddenColumn(const GridPageState& page, const GridColumn& column) {
  if (page.hidden_list.empty()) return false;
  const ColumnKeys keys = OwnKeysOf(column);
  return (!keys.qualified.empty() && HasBareEntry(page.hidden_list, keys.qualified)) ||
         HasBareEntry(page.hidden_list, keys.bare);
}

void WriteCell(GridObject& g, const RowView& row, size_t column, int64_t /*row_index*/,
               std::string& out) {
  CellWriterCache& cache = CellCacheFor(g);
  const ColumnFormat& f = FormatOf(g, cache, column);

  const Variant value = row.Value(column);
  std::string_view text;
  if (value.IsString()) {
    text = value.Bytes();
  } else {
    cache.value_text.clear();
    AppendValueText(value, cache.value_text);
    text = cache.value_text;
  }
  if (text.empty()) return;

  const std::string* cell_style = CellStyleFor(cache, text);
  const bool styled = (cell_style != nullptr && !cell_style->empty()) || !f.column_style.empty();
  if (styled) {
    out.append("<div style=\"");
    if (cell_style != nullptr) out.append(*cell_style);
    out.append(f.column_style);
    out.append("\">");
  }

  try {
    WriteFormatted(g, f, row, value, text, cache, out);
  } catch (const Error& e) {
    // A value the column's format cannot read: say which column, format
    // and value, rather than the bare "Type mismatch" of the conversion.
    if (e.number() == kErrTypeMismatch && e.description() == "Type mismatch") {
      RaiseFormatMismatch(f, text);
    }
    throw;
  }

  if (styled) out.append("</div>");
}

void WriteBinaryCell(GridObject& g, size_t column, int64_t row_index, std::string& out) {
  if (column >= g.result.columns.size()) throw Error(9, "Subscript out of range", "Fennick");
  CellWriterCache& cache = CellCacheFor(g);
  const GridPageState& page = *g.page;
  const std::optional<std::string_view> extension =
      FindColumnEntry(page.ole_list, OwnKeysOf(g.result.columns[column]));

  // The command and connection string travel sealed: the download request
  // runs only what this server wrote, and the browser never reads either.
  // The row number counts the rows of the result the grid opened (filter
  // and order applied), so that is the text the link carries.
  const std::string& token =
      DownloadToken(g, cache, g.result.opened_sql.empty() ? page.command : g.result.opened_sql,
                    page.connection_string, column);

  out.append(extension ? "<a href=\"" : "<img src=\"");
  out.append(g.host.page_url);
  out.append("?a=i");
  if (extension) {
    out.append("&amp;ext=");
    AppendTemplateUrlEncoded(*extension, out);
  }
  out.append("&amp;r=");
  out.append(std::to_string(row_index));
  out.append("&amp;");
  out.append(kDownloadTokenKey);
  out.push_back('=');
  out.append(token);
  AppendCarriedQuery(page.carried_query, out);
  out.push_back('"');
  if (extension) {
    out.push_back('>');
    out.append(*extension);
    out.append("</a>");
  } else {
    out.append(" border=0>");
  }
}

}  // namespace fennick
