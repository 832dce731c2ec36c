// Clean, bounded cell text.
#include "export/cell_text.h"

#include <cstdint>

namespace fennick {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the UTF-8 sequence at `at` and its code point; 0 when the
// bytes there are no well-formed sequence.
size_t DecodeUtf8(std::string_view text, size_t at, uint32_t& cp) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t n = 0;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    cp = lead & 0x07;
  } else {
    return 0;
  }
  if (at + n > text.size()) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF.
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return n;
}

}  // namespace

void AppendCellText(std::string_view text, bool one_line, std::string& out) {
  size_t at = 0;
  while (at < text.size()) {
    // Plain ASCII runs are copied as they are.
    size_t run = at;
    while (run < text.size()) {
      const unsigned char c = static_cast<unsigned char>(text[run]);
      if (c >= 0x80 || c < 0x20 || c == 0x7F) break;
      ++run;
    }
    out.append(text, at, run - at);
    at = run;
    if (at >= text.size()) break;
    uint32_t cp = 0;
    const size_t n = DecodeUtf8(text, at, cp);
    if (n == 0) {
      out.append(kReplacement);
      ++at;
      continue;
    }
    if (cp == '\t' || cp == '\n' || cp == '\r') {
      out.push_back(one_line ? ' ' : static_cast<char>(cp));
    } else if (cp < 0x20 || cp == 0x7F || cp == 0xFFFE || cp == 0xFFFF) {
      // Left out: no XML document holds it, and it shows as nothing.
    } else {
      out.append(text, at, n);
    }
    at += n;
  }
}

bool CutCellText(std::string& text, size_t max_chars) {
  // Quick answer for the common case: even at two units a byte it fits.
  if (text.size() <= max_chars) return false;
  size_t units = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  if (units <= max_chars) return false;
  const std::string note = " ... [cut: " + std::to_string(units) + " characters]";
  const size_t keep = max_chars - note.size();
  size_t at = 0, kept = 0;
  while (at < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    const size_t step = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    const size_t width = c >= 0xF0 ? 2 : 1;
    if (kept + width > keep) break;
    kept += width;
    at += step;
  }
  text.resize(at);
  text += note;
  return true;
}

}  // namespace fennick
