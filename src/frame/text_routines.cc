// Shared text routines.
#include "frame/text_routines.h"

#include <sodium.h>

#include <cmath>

#include "base/ascii.h"
#include "fennick/error.h"

namespace fennick {
namespace {

bool EndsWithImageExtension(std::string_view text) {
  if (text.size() < 4) return false;
  for (std::string_view ext : {".gif", ".png", ".jpg", ".bmp"}) {
    if (EndsWithIgnoreCase(text, ext)) return true;
  }
  return false;
}

// A ready attribute (" class=x") stays as it is; a bare value becomes
// ' name="value"'; an empty one is left out.
void AppendAttribute(std::string& out, std::string_view name, std::string_view value) {
  if (value.empty()) return;
  if (value.find('=') != std::string_view::npos) {
    out.append(value);
    return;
  }
  out.push_back(' ');
  out.append(name);
  out.append("=\"");
  out.append(value);
  out.push_back('"');
}

}  // namespace

std::string StringBefore(std::string_view text, std::string_view separator) {
  size_t at = text.find(separator);
  return std::string(at == std::string_view::npos ? text : text.substr(0, at));
}

std::string StringAfter(std::string_view text, std::string_view separator) {
  size_t at = text.find(separator);
  if (at == std::string_view::npos) return std::string();
  return std::string(text.substr(at + separator.size()));
}

std::string LookupEntry(std::string_view list, std::string_view key) {
  std::string needle = "|||";
  needle.append(key);
  needle.append("|=|");
  size_t at = list.find(needle);
  if (at == std::string_view::npos) return std::string();
  size_t start = at + needle.size();
  size_t end = list.find("|||", start);
  return std::string(list.substr(start, end == std::string_view::npos ? std::string_view::npos
                                                                      : end - start));
}

std::string MakeLink(std::string_view text, std::string_view title, std::string_view href,
                     std::string_view class_name, std::string_view style,
                     std::string_view target, std::string_view images_url) {
  std::string body;
  std::string title_attr;
  // Only a whole known extension makes an image: "Serif.p" stays text.
  if (text.find('.') != std::string_view::npos && EndsWithImageExtension(text)) {
    body.append("<img src=\"");
    body.append(images_url);
    body.append(text);
    body.append("\" ");
    if (!title.empty()) {
      body.append(" alt=\"");
      body.append(title);
      body.push_back('"');
    }
    body.append("  ");
    AppendAttribute(body, "style", style);
    body.append(" border=\"0\"  align=\"absmiddle\"/>");
  } else {
    body.assign(text);
    if (!title.empty()) {
      title_attr = " title=\"";
      title_attr.append(title);
      title_attr.push_back('"');
    }
  }
  if (href.empty()) return body;
  std::string out = "<a  href=\"";
  out.append(href);
  out.push_back('"');
  AppendAttribute(out, "class", class_name);
  AppendAttribute(out, "target", target);
  out.append(title_attr);
  AppendAttribute(out, "style", style);
  out.push_back('>');
  out.append(body);
  out.append("</a>");
  return out;
}

std::string PlainText(std::string_view text, std::string_view extra) {
  std::string out;
  out.reserve(text.size());
  bool in_tag = false;
  for (char c : text) {
    if (in_tag) {
      if (c == '>') in_tag = false;
      continue;
    }
    if (c == '<') {
      in_tag = true;
      continue;
    }
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        (c != '\0' && extra.find(c) != std::string_view::npos)) {
      out.push_back(c);
    }
  }
  return out;
}

std::string DigitsOnly(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c >= '0' && c <= '9') out.push_back(c);
  }
  return out;
}

std::string OrdinalSuffix(int day) {
  const char* suffix = "th";
  switch (day) {
    case 1: case 21: case 31: suffix = "st"; break;
    case 2: case 22: suffix = "nd"; break;
    case 3: case 23: suffix = "rd"; break;
    default: break;
  }
  return std::to_string(day) + "<sup>" + suffix + "</sup>";
}

std::string RandomText(size_t length) {
  static constexpr char kChars[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  if (sodium_init() < 0) throw Error(-1, "libsodium could not be initialised", "RandomText");
  std::string out(length, '0');
  for (char& c : out) c = kChars[randombytes_uniform(sizeof kChars - 1)];
  return out;
}

int16_t RoundUp(double number) {
  double up = std::ceil(number);
  if (!(up >= -32768 && up <= 32767)) throw Error(kErrOverflow, "Overflow");
  return static_cast<int16_t>(up);
}

}  // namespace fennick
