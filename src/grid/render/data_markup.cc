// Placing database values into author-written markup: finding where in the
// markup a value lands and writing it so it stays data there.
#include "grid/render/data_markup.h"

#include <cstdint>

#include "base/ascii.h"
namespace fennick {
namespace {

enum class Place { kText, kScript, kTag, kAttributeValue };

struct MarkupPlace {
  Place place = Place::kText;
  bool quoted = false;     // kAttributeValue: inside quotes
  bool link = false;       // kAttributeValue: an address attribute
  std::string_view value;  // kAttributeValue: the value written so far
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Whether `text` at `at` starts with `prefix`, ignoring case.
bool StartsWithAt(std::string_view text, size_t at, std::string_view prefix) {
  return at <= text.size() && StartsWithIgnoreCase(text.substr(at), prefix);
}

// Attributes whose value a browser follows as an address.
bool IsLinkAttribute(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "href", "src",      "action",   "formaction", "background", "poster",    "data",
      "cite", "codebase", "longdesc", "lowsrc",     "dynsrc",     "xlink:href"};
  for (std::string_view n : kNames) {
    if (name == n) return true;
  }
  return false;
}

// Reads the markup from its start, the way a browser's tokenizer does for
// the few states that matter here, and says where its end lies. An
// "[eval]" block counts as script, since it becomes one.
MarkupPlace PlaceAtEnd(std::string_view s) {
  enum class State {
    kText,
    kComment,
    kScript,
    kEval,
    kTagName,
    kBeforeAttribute,
    kAttributeName,
    kAfterAttributeName,
    kBeforeValue,
    kQuotedValue,
    kUnquotedValue
  };
  State state = State::kText;
  std::string tag, attribute;
  bool closing = false;
  char quote = 0;
  size_t value_start = 0;
  auto end_tag = [&] { state = (!closing && tag == "script") ? State::kScript : State::kText; };
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    switch (state) {
      case State::kText:
        if (s.compare(i, 6, "[eval]") == 0) {
          state = State::kEval;
          i += 5;
        } else if (c == '<' && s.compare(i, 4, "<!--") == 0) {
          state = State::kComment;
          i += 3;
        } else if (c == '<' && i + 1 < s.size() && IsLetter(s[i + 1])) {
          state = State::kTagName;
          tag.clear();
          closing = false;
        } else if (c == '<' && i + 2 < s.size() && s[i + 1] == '/' && IsLetter(s[i + 2])) {
          state = State::kTagName;
          tag.clear();
          closing = true;
          ++i;
        }
        break;
      case State::kComment:
        if (s.compare(i, 3, "-->") == 0) {
          state = State::kText;
          i += 2;
        }
        break;
      case State::kScript:
        if (c == '<' && StartsWithAt(s, i, "</script")) {
          state = State::kTagName;
          tag = "/script";
          closing = true;
          i += 7;
        }
        break;
      case State::kEval:
        if (s.compare(i, 7, "[/eval]") == 0) {
          state = State::kText;
          i += 6;
        }
        break;
      case State::kTagName:
        if (IsSpace(c) || c == '/') {
          state = State::kBeforeAttribute;
        } else if (c == '>') {
          end_tag();
        } else {
          tag.push_back(AsciiLowerChar(c));
        }
        break;
      case State::kBeforeAttribute:
        if (c == '>') {
          end_tag();
        } else if (!IsSpace(c) && c != '/') {
          state = State::kAttributeName;
          attribute.assign(1, AsciiLowerChar(c));
        }
        break;
      case State::kAttributeName:
        if (IsSpace(c)) {
          state = State::kAfterAttributeName;
        } else if (c == '=') {
          state = State::kBeforeValue;
        } else if (c == '>') {
          end_tag();
        } else if (c == '/') {
          state = State::kBeforeAttribute;
        } else {
          attribute.push_back(AsciiLowerChar(c));
        }
        break;
      case State::kAfterAttributeName:
        if (c == '=') {
          state = State::kBeforeValue;
        } else if (c == '>') {
          end_tag();
        } else if (!IsSpace(c)) {
          state = State::kAttributeName;
          attribute.assign(1, AsciiLowerChar(c));
        }
        break;
      case State::kBeforeValue:
        if (c == '"' || c == '\'') {
          state = State::kQuotedValue;
          quote = c;
          value_start = i + 1;
        } else if (c == '>') {
          end_tag();
        } else if (!IsSpace(c)) {
          state = State::kUnquotedValue;
          value_start = i;
        }
        break;
      case State::kQuotedValue:
        if (c == quote) state = State::kBeforeAttribute;
        break;
      case State::kUnquotedValue:
        if (IsSpace(c)) {
          state = State::kBeforeAttribute;
        } else if (c == '>') {
          end_tag();
        }
        break;
    }
  }

  MarkupPlace place;
  switch (state) {
    case State::kText:
    case State::kComment:
      place.place = Place::kText;
      break;
    case State::kScript:
    case State::kEval:
      place.place = Place::kScript;
      break;
    case State::kTagName:
    case State::kBeforeAttribute:
    case State::kAttributeName:
    case State::kAfterAttributeName:
      place.place = Place::kTag;
      break;
    case State::kBeforeValue:
    case State::kQuotedValue:
    case State::kUnquotedValue:
      // Event handler attributes are script once the browser decodes them.
      if (attribute.size() > 2 && attribute[0] == 'o' && attribute[1] == 'n') {
        place.place = Place::kScript;
        break;
      }
      place.place = Place::kAttributeValue;
      place.quoted = state == State::kQuotedValue;
      place.link = IsLinkAttribute(attribute);
      if (state != State::kBeforeValue) place.value = s.substr(value_start);
      break;
  }
  return place;
}

// Appends code point cp as what matters to an address check: ASCII as it
// is, anything else as a byte that is neither a blank nor a scheme
// character.
void AppendDecoded(uint32_t cp, std::string& out) {
  out.push_back(cp > 0 && cp < 0x80 ? static_cast<char>(cp) : '\x80');
}

// text with its character references decoded as a browser decodes an
// attribute value: numeric ones with or without ";", and the named ones
// that can spell a scheme or hide a separator.
std::string DecodeReferences(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"colon;", ':'}, {"tab;", '\t'},  {"newline;", '\n'}, {"amp;", '&'},
      {"amp", '&'},    {"lt;", '<'},    {"lt", '<'},        {"gt;", '>'},
      {"gt", '>'},     {"quot;", '"'},  {"quot", '"'},      {"apos;", '\''},
      {"sol;", '/'},   {"quest;", '?'}, {"num;", '#'},      {"period;", '.'}};
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out.push_back(text[i]);
      continue;
    }
    size_t j = i + 1;
    if (j < text.size() && text[j] == '#') {
      ++j;
      const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
      if (hex) ++j;
      const size_t digits = j;
      uint32_t cp = 0;
      for (; j < text.size(); ++j) {
        const char c = AsciiLowerChar(text[j]);
        uint32_t d;
        if (IsDigit(c)) {
          d = static_cast<uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
          d = static_cast<uint32_t>(c - 'a' + 10);
        } else {
          break;
        }
        cp = cp > 0x10FFFF ? cp : cp * (hex ? 16 : 10) + d;
      }
      if (j == digits) {
        out.push_back('&');
        continue;
      }
      AppendDecoded(cp, out);
      if (j < text.size() && text[j] == ';') ++j;
      i = j - 1;
      continue;
    }
    bool named = false;
    for (const auto& [name, c] : kNamed) {
      if (StartsWithAt(text, j, name)) {
        out.push_back(c);
        i = j + name.size() - 1;
        named = true;
        break;
      }
    }
    if (!named) out.push_back('&');
  }
  return out;
}

// Whether the address written so far (decoded) has its scheme settled: a
// scheme separator, or a character that makes it relative, is already
// there.
bool SchemeSettled(std::string_view markup) {
  for (char c : DecodeReferences(markup)) {
    if (c == ':' || c == '/' || c == '?' || c == '#') return true;
  }
  return false;
}

// Characters that may stand as they are inside a tag outside quotes: none
// of them can end a value, start an attribute or close the tag.
bool IsInertInTag(char c) {
  if (IsLetter(c) || IsDigit(c) || static_cast<unsigned char>(c) >= 0x80) return true;
  switch (c) {
    case '-':
    case '_':
    case '.':
    case ',':
    case ':':
    case ';':
    case '/':
    case '?':
    case '@':
    case '!':
    case '~':
    case '*':
    case '(':
    case ')':
    case '%':
    case '#':
    case '$':
    case '[':
    case ']':
    case '{':
    case '}':
    case '|':
    case '^':
      return true;
    default:
      return false;
  }
}

void AppendInTag(std::string_view value, std::string& out, bool plus_as_url) {
  for (char c : value) {
    if (c == '+' && plus_as_url) {
      out.append("%2B");
    } else if (c == '+' || IsInertInTag(c)) {
      out.push_back(c);
    } else {
      out.append("&#");
      out.append(std::to_string(static_cast<unsigned char>(c)));
      out.push_back(';');
    }
  }
}

void AppendEncoded(std::string_view value, std::string& out, bool plus_as_url) {
  if (!plus_as_url) {
    AppendHtmlText(value, out);
    return;
  }
  size_t done = 0;
  for (size_t at = value.find('+'); at != std::string_view::npos; at = value.find('+', done)) {
    AppendHtmlText(value.substr(done, at - done), out);
    out.append("%2B");
    done = at + 1;
  }
  AppendHtmlText(value.substr(done), out);
}

}  // namespace

namespace {

// Appends text with < > & " as character references, and ' too when
// `apostrophe`; the runs between them are copied whole.
void AppendReferences(std::string_view text, bool apostrophe, std::string& out) {
  size_t done = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    std::string_view entity;
    switch (text[i]) {
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '&':
        entity = "&amp;";
        break;
      case '"':
        entity = "&quot;";
        break;
      case '\'':
        if (!apostrophe) continue;
        entity = "&#39;";
        break;
      default:
        continue;
    }
    out.append(text.substr(done, i - done));
    out.append(entity);
    done = i + 1;
  }
  out.append(text.substr(done));
}

}  // namespace

void AppendHtmlText(std::string_view text, std::string& out) {
  AppendReferences(text, true, out);
}

void AppendHtmlEncoded(std::string_view text, std::string& out) {
  AppendReferences(text, false, out);
}

void AppendScriptNumber(std::string_view value, std::string& out) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  const size_t start = i;
  size_t digits = 0;
  while (i < value.size() && IsDigit(value[i])) ++i, ++digits;
  if (i < value.size() && value[i] == '.') {
    ++i;
    while (i < value.size() && IsDigit(value[i])) ++i, ++digits;
  }
  if (digits > 0 && i < value.size() && (value[i] == 'e' || value[i] == 'E')) {
    size_t j = i + 1;
    if (j < value.size() && (value[j] == '+' || value[j] == '-')) ++j;
    const size_t exponent = j;
    while (j < value.size() && IsDigit(value[j])) ++j;
    if (j > exponent) i = j;
  }
  if (digits == 0 || i != value.size()) {
    out.push_back('0');
    return;
  }
  if (negative) out.push_back('-');
  out.append(value.substr(start));
}

bool IsSafeLinkAddress(std::string_view url) {
  const std::string decoded = DecodeReferences(url);
  std::string address;
  for (char c : decoded) {
    // Browsers drop leading blanks and control characters, and tabs and
    // line breaks anywhere ("jav\tascript:").
    if (address.empty() && static_cast<unsigned char>(c) <= 0x20) continue;
    if (c == '\t' || c == '\n' || c == '\r') continue;
    address.push_back(AsciiLowerChar(c));
  }
  const size_t end = address.find_first_of(":/?#");
  if (end == std::string::npos || address[end] != ':') return true;  // relative
  const std::string_view scheme = std::string_view(address).substr(0, end);
  return scheme == "http" || scheme == "https" || scheme == "mailto";
}

bool EndsInScript(std::string_view markup) { return PlaceAtEnd(markup).place == Place::kScript; }

void AppendDataInMarkup(std::string_view value, std::string& out, bool plus_as_url) {
  const MarkupPlace place = PlaceAtEnd(out);
  switch (place.place) {
    case Place::kText:
      AppendEncoded(value, out, plus_as_url);
      return;
    case Place::kScript:
      AppendScriptNumber(value, out);
      return;
    case Place::kTag:
      AppendInTag(value, out, plus_as_url);
      return;
    case Place::kAttributeValue:
      break;
  }
  // The value so far points into out, which grows below.
  const bool judge = place.link && !SchemeSettled(place.value);
  std::string address = judge ? std::string(place.value) : std::string();
  const size_t before = out.size();
  if (place.quoted) {
    AppendEncoded(value, out, plus_as_url);
  } else {
    AppendInTag(value, out, plus_as_url);
  }
  if (judge) {
    // The value decides the address's scheme: judge the address as the
    // browser will read it, encoded value included.
    address.append(out, before, std::string::npos);
    if (!IsSafeLinkAddress(address)) {
      out.resize(before);
      out.push_back('#');
    }
  }
}

}  // namespace fennick
