// Cell templates: resolving placeholders once per column and expanding
// them per cell into reused buffers.

#include "grid/render/template_expansion.h"

#include "grid/render/cell_values.h"
#include "grid/render/data_markup.h"
#include "grid/render/field_index.h"
#include "platform/intl/format.h"
#include "platform/script/evaluator.h"
#include "platform/web/http_text.h"

namespace fennick {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Replaces every `from` in text by what `append` writes, building into
// `swap` so both buffers keep their capacity from cell to cell.
template <class Append>
void ReplaceAllWith(std::string& text, std::string_view from, std::string& swap, Append append) {
  size_t at = text.find(from);
  if (at == std::string::npos) return;
  swap.clear();
  size_t done = 0;
  while (at != std::string::npos) {
    swap.append(text, done, at - done);
    append(swap);
    done = at + from.size();
    at = text.find(from, done);
  }
  swap.append(text, done, std::string::npos);
  text.swap(swap);
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to,
                std::string& swap) {
  ReplaceAllWith(text, from, swap, [to](std::string& out) { out.append(to); });
}

// The value of pair `name` in a query string ("a=1&b=2"), URL-decoded; ""
// when it has none. Names compare without regard to ASCII case, as the
// request's fields do, and only whole names match.
std::string CarriedValue(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    size_t amp = query.find('&');
    std::string_view pair = query.substr(0, amp);
    size_t eq = pair.find('=');
    if (eq != std::string_view::npos &&
        EqualsIgnoreCase(UrlDecode(pair.substr(0, eq), true), name)) {
      return UrlDecode(pair.substr(eq + 1), true);
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return std::string();
}

// A page variable: the session's value, else the posted form's or the
// query string's field, else the carried query string's pair.
std::string VariableValue(const GridObject& g, std::string_view name) {
  std::string value;
  if (g.host.session != nullptr) {
    Variant v = g.host.session->Get(name);
    if (!v.IsObject() && !v.IsBinary()) value = script::ValueToText(v);
  }
  if (value.empty() && g.host.request != nullptr) {
    value = g.host.request->Form(name);
    if (value.empty()) value = g.host.request->QueryString(name);
  }
  if (value.empty() && g.page != nullptr) value = CarriedValue(g.page->carried_query, name);
  return value;
}

void AppendNumberToken(std::string& text, const Variant& value, std::string_view value_text,
                       std::string& swap) {
  struct Token {
    std::string_view text;
    std::string (*format)(double, int, int, int, int, std::string_view);
  };
  static const Token kTokens[] = {{"#MONEY#", intl::FormatCurrency},
                                  {"#PERCENT#", intl::FormatPercent},
                                  {"#NUMBER#", intl::FormatNumber}};
  for (const Token& token : kTokens) {
    if (text.find(token.text) == std::string::npos) continue;
    const std::string formatted =
        token.format(NumericValue(value, value_text), -1, intl::kUseDefault, intl::kUseDefault,
                     intl::kUseDefault, {});
    ReplaceAll(text, token.text, formatted, swap);
    return;  // only the first kind present is replaced
  }
}

void ApplyShortcuts(std::string& text, std::string& swap) {
  static const std::pair<std::string_view, std::string_view> kShortcuts[] = {
      {"[br]", "<br/>"},  {"[b]", "<b>"},   {"[/b]", "</b>"},
      {"[u]", "<u>"},     {"[/u]", "</u>"}, {"[i]", "<i>"},
      {"[/i]", "</i>"},   {"[eval]", "<script>document.write(eval("},
      {"[/eval]", "));</script>"}};
  for (const auto& [from, to] : kShortcuts) ReplaceAll(text, from, to, swap);
  if (text.find("[exec]") == std::string::npos) return;
  ReplaceAll(text, "[exec]", "", swap);
  ReplaceAll(text, "[/exec]", "", swap);
  std::string_view expression = text;
  while (!expression.empty() && expression.front() == ' ') expression.remove_prefix(1);
  while (!expression.empty() && expression.back() == ' ') expression.remove_suffix(1);
  std::string result = script::EvaluateToText(expression);
  text.swap(result);
}

}  // namespace

void AppendTemplateUrlEncoded(std::string_view text, std::string& out) {
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '!' || c == '~' || c == '*' || c == '\'' || c == '(' ||
        c == ')') {
      out.push_back(c);
    } else {
      out.push_back('%');
      out.push_back(kHex[u >> 4]);
      out.push_back(kHex[u & 15]);
    }
  }
}

CellTemplate CompileTemplate(std::string_view text, const std::vector<GridColumn>& columns) {
  CellTemplate tmpl;
  auto literal = [&tmpl](std::string_view piece) {
    if (piece.empty()) return;
    if (tmpl.parts.empty() || tmpl.parts.back().kind != CellTemplate::Part::Kind::kText) {
      tmpl.parts.push_back({CellTemplate::Part::Kind::kText, std::string(), 0});
    }
    tmpl.parts.back().text.append(piece);
  };
  size_t done = 0;
  for (;;) {
    const size_t open = text.find("{{", done);
    if (open == std::string_view::npos) break;
    const size_t close = text.find("}}", open + 2);
    if (close == std::string_view::npos) break;
    std::string_view token = text.substr(open + 2, close - open - 2);
    if (!token.empty() && token.front() == '@') {
      literal(text.substr(done, open - done));
      tmpl.parts.push_back(
          {CellTemplate::Part::Kind::kVariable, std::string(token.substr(1)), 0});
    } else {
      const int index = FieldIndex(columns, token);
      if (index < 0) break;  // this placeholder and the rest stay as written
      literal(text.substr(done, open - done));
      tmpl.parts.push_back(
          {CellTemplate::Part::Kind::kColumn, std::string(), static_cast<size_t>(index)});
    }
    done = close + 2;
  }
  literal(text.substr(done));
  return tmpl;
}

void ExpandTemplate(const CellTemplate& tmpl, const GridObject& g, const RowView& row,
                    const Variant& value, std::string_view value_text,
                    TemplateScratch& scratch, std::string& out) {
  std::string& text = scratch.text;
  std::string& swap = scratch.swap;
  const bool data_is_markup = g.page->allow_html_in_data;
  text.clear();
  // A placeholder's value is URL-encoded, which keeps it from adding
  // markup; inside script that is not enough ("1)-alert(1)-(0" has nothing
  // to encode), so there it must be a number.
  auto append_placeholder = [&](std::string_view v) {
    if (!data_is_markup && EndsInScript(text)) {
      AppendScriptNumber(v, text);
    } else {
      AppendTemplateUrlEncoded(v, text);
    }
  };
  for (const CellTemplate::Part& part : tmpl.parts) {
    switch (part.kind) {
      case CellTemplate::Part::Kind::kText:
        text.append(part.text);
        break;
      case CellTemplate::Part::Kind::kColumn: {
        const Variant field = row.Value(part.column);
        if (field.IsString()) {
          append_placeholder(field.Bytes());
        } else {
          swap.clear();
          AppendValueText(field, swap);
          append_placeholder(swap);
        }
        break;
      }
      case CellTemplate::Part::Kind::kVariable:
        append_placeholder(VariableValue(g, part.text));
        break;
    }
  }

  AppendNumberToken(text, value, value_text, swap);

  if (text.find("[sql]") != std::string::npos) {
    if (data_is_markup) {
      out.append(value_text);
    } else {
      AppendHtmlText(value_text, out);
    }
    return;
  }
  if (text.find('[') != std::string::npos) ApplyShortcuts(text, swap);

  if (data_is_markup) {
    ReplaceAllWith(text, "#TEMP#", swap, [value_text](std::string& o) {
      for (char c : value_text) {
        if (c == '+') {
          o.append("%2B");
        } else {
          o.push_back(c);
        }
      }
    });
  } else {
    // The markup built so far says where the value lands: text, a quoted
    // or bare attribute, the start of a link, or script.
    ReplaceAllWith(text, "#TEMP#", swap,
                   [value_text](std::string& o) { AppendDataInMarkup(value_text, o, true); });
  }
  out.append(text);
}

}  // namespace fennick
