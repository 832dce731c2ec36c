// UTF-8 segmentation and Unicode case mapping (through the C library's
// C.UTF-8 locale, which carries the full simple case tables).
#include "platform/script/text.h"

#include "base/ascii.h"

#include <locale.h>
#include <string.h>
#include <wctype.h>

namespace fennick::script {
namespace {

locale_t Utf8Locale() {
  // Created once and never freed: it lives as long as the process.
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

template <typename MapAscii, typename MapWide>
std::string MapCase(std::string_view s, MapAscii ascii, MapWide wide) {
  std::string out;
  out.reserve(s.size());
  locale_t locale = Utf8Locale();
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(ascii(static_cast<char>(c)));
      ++i;
      continue;
    }
    size_t length = 0;
    uint32_t cp = DecodeChar(s, i, length);
    if (length == 1 || !locale) {
      out.append(s.substr(i, length));  // invalid byte, or no tables: kept
    } else {
      AppendChar(out, static_cast<uint32_t>(wide(static_cast<wint_t>(cp), locale)));
    }
    i += length;
  }
  return out;
}

}  // namespace

bool IsAscii(std::string_view s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

size_t CharLength(std::string_view s, size_t offset) {
  size_t length = 0;
  DecodeChar(s, offset, length);
  return length;
}

uint32_t DecodeChar(std::string_view s, size_t offset, size_t& length) {
  unsigned char lead = static_cast<unsigned char>(s[offset]);
  length = 1;
  if (lead < 0x80) return lead;
  size_t need;
  uint32_t cp;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    cp = lead & 0x07;
  } else {
    return lead;
  }
  if (offset + need >= s.size()) return lead;
  for (size_t k = 1; k <= need; ++k) {
    unsigned char c = static_cast<unsigned char>(s[offset + k]);
    if ((c & 0xC0) != 0x80) return lead;
    cp = (cp << 6) | (c & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  if ((need == 2 && cp < 0x800) || (need == 3 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return lead;
  length = need + 1;
  return cp;
}

void AppendChar(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

size_t CharCount(std::string_view s) {
  size_t count = 0;
  for (size_t i = 0; i < s.size(); ++count) {
    i += static_cast<unsigned char>(s[i]) < 0x80 ? 1 : CharLength(s, i);
  }
  return count;
}

size_t ByteOffset(std::string_view s, size_t chars) {
  size_t i = 0;
  for (; i < s.size() && chars > 0; --chars) {
    i += static_cast<unsigned char>(s[i]) < 0x80 ? 1 : CharLength(s, i);
  }
  return i;
}

std::string_view CharSlice(std::string_view s, size_t start, size_t count) {
  size_t begin = ByteOffset(s, start);
  std::string_view rest = s.substr(begin);
  return rest.substr(0, ByteOffset(rest, count));
}

size_t CharIndex(std::string_view s, size_t byte_offset) {
  return CharCount(s.substr(0, byte_offset));
}

size_t FindText(std::string_view s, std::string_view needle, size_t from) {
  if (from > s.size()) return std::string_view::npos;
  if (needle.empty()) return from;
  // glibc's memmem uses the two-way algorithm: linear time.
  const void* at = memmem(s.data() + from, s.size() - from, needle.data(), needle.size());
  if (at == nullptr) return std::string_view::npos;
  return static_cast<size_t>(static_cast<const char*>(at) - s.data());
}

size_t FindLastText(std::string_view s, std::string_view needle) {
  if (needle.size() > s.size()) return std::string_view::npos;
  std::string reversed_s(s.rbegin(), s.rend());
  std::string reversed_needle(needle.rbegin(), needle.rend());
  size_t at = FindText(reversed_s, reversed_needle);
  if (at == std::string_view::npos) return at;
  return s.size() - at - needle.size();
}

std::string ToUpper(std::string_view s) {
  return MapCase(s, AsciiUpperChar, towupper_l);
}

std::string ToLower(std::string_view s) {
  return MapCase(s, AsciiLowerChar, towlower_l);
}

std::string ReverseChars(std::string_view s) {
  std::string out(s.size(), '\0');
  size_t write = s.size();
  for (size_t i = 0; i < s.size();) {
    size_t length = CharLength(s, i);
    write -= length;
    out.replace(write, length, s.substr(i, length));
    i += length;
  }
  return out;
}

}  // namespace fennick::script
