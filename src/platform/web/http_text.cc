// URL, query, cookie and HTML text forms.
#include "platform/web/http_text.h"

#include <cstdint>
#include <cstdio>

namespace fennick {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string UrlEncodeAsp(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3 / 2);
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        c == '-' || c == '_' || c == '.' || c == '!' || c == '~' || c == '*' ||
        c == '\'' || c == '(' || c == ')') {
      out.push_back(static_cast<char>(c));
    } else if (c == ' ') {
      out.push_back('+');
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string UrlDecode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(plus_is_space && c == '+' ? ' ' : c);
  }
  return out;
}

std::string JsStringBody(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto escape = [&out](uint32_t unit) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(unit));
    out.append(buffer);
  };
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
        c == '.' || c == '_' || c == '-' || c == '/' || c == '?' || c == '=') {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    if (c < 0x80) {
      escape(c);
      ++i;
      continue;
    }
    // A UTF-8 sequence: its code point, or U+FFFD for a malformed one (one
    // replacement per byte that starts nothing valid).
    const int extra = c >= 0xF0 && c <= 0xF4 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
    uint32_t code = extra == 3 ? c & 0x07u : extra == 2 ? c & 0x0Fu : c & 0x1Fu;
    bool valid = extra > 0;
    for (int k = 1; valid && k <= extra; ++k) {
      if (i + static_cast<size_t>(k) >= text.size()) {
        valid = false;
        break;
      }
      const unsigned char n = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      if ((n & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (n & 0x3Fu);
    }
    const uint32_t least = extra == 3 ? 0x10000 : extra == 2 ? 0x800 : 0x80;
    if (!valid || code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      escape(0xFFFD);
      ++i;
      continue;
    }
    i += static_cast<size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      escape(0xD800 + (code >> 10));
      escape(0xDC00 + (code & 0x3FF));
    } else {
      escape(code);
    }
  }
  return out;
}

std::string HtmlEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    switch (c) {
      case '<': out.append("&lt;"); break;
      case '>': out.append("&gt;"); break;
      case '&': out.append("&amp;"); break;
      case '"': out.append("&quot;"); break;
      default:
        // U+00A0 (UTF-8 C2 A0) becomes &nbsp; as ASP writes it.
        if (static_cast<unsigned char>(c) == 0xC2 && i + 1 < text.size() &&
            static_cast<unsigned char>(text[i + 1]) == 0xA0) {
          out.append("&nbsp;");
          ++i;
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

std::string HtmlAttributeEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '<': out.append("&lt;"); break;
      case '>': out.append("&gt;"); break;
      case '&': out.append("&amp;"); break;
      case '"': out.append("&quot;"); break;
      default: out.push_back(c);
    }
  }
  return out;
}

bool ParseUrlEncoded(std::string_view text, FieldList& fields, size_t max_fields) {
  size_t count = 0;
  while (!text.empty()) {
    size_t amp = text.find('&');
    std::string_view pair = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (pair.empty()) continue;
    if (++count > max_fields) return false;
    size_t eq = pair.find('=');
    std::string_view name = pair.substr(0, eq);
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
    fields.Add(UrlDecode(name, true), UrlDecode(value, true));
  }
  return true;
}

void ParseCookieHeader(std::string_view header, FieldList& cookies) {
  while (!header.empty()) {
    size_t semi = header.find(';');
    std::string_view pair = TrimBlanks(header.substr(0, semi));
    header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    if (pair.empty()) continue;
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view value = TrimBlanks(pair.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    cookies.Add(std::string(TrimBlanks(pair.substr(0, eq))), UrlDecode(value, true));
  }
}

std::string FormatSetCookie(std::string_view name, const Cookie& cookie) {
  std::string out(name);
  out.push_back('=');
  out.append(UrlEncodeAsp(cookie.value));
  if (!cookie.path.empty()) out.append("; Path=").append(cookie.path);
  if (!cookie.domain.empty()) out.append("; Domain=").append(cookie.domain);
  if (!cookie.expires.empty()) out.append("; Expires=").append(cookie.expires);
  if (cookie.secure) out.append("; Secure");
  if (cookie.http_only) out.append("; HttpOnly");
  if (!cookie.same_site.empty()) out.append("; SameSite=").append(cookie.same_site);
  return out;
}

}  // namespace fennick
