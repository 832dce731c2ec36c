// String functions: Len, Left, Right, Mid, InStr, InStrRev, UCase, LCase,
// Trim, LTrim, RTrim, Replace, Space, String, StrReverse, StrComp, Asc,
// AscW, Chr, ChrW. Positions and lengths count characters; the compare
// argument 0 (vbBinaryCompare) compares exactly, 1 (vbTextCompare) without
// regard to case.
#include <string>

#include "platform/script/builtins.h"
#include "platform/script/coerce.h"
#include "platform/script/script_error.h"
#include "platform/script/text.h"

namespace fennick::script {
namespace {

// The characters 0x80..0x9F of the classic Windows code page, which Chr and
// Asc use for codes 128 to 159; the five unassigned ones map to themselves.
constexpr uint16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The character of a classic code page code (0..255).
uint32_t CodePageChar(int32_t code) {
  if (code >= 0x80 && code < 0xA0) return kWindows1252[code - 0x80];
  return static_cast<uint32_t>(code);
}

bool TextCompare(Arguments args, size_t i) {
  int32_t mode = LongArgument(args, i, 0);
  if (mode != 0 && mode != 1) RaiseRuntime(kErrInvalidCall);
  return mode == 1;
}

int32_t NonNegative(Arguments args, size_t i) {
  int32_t n = ToLong(args[i]);
  if (n < 0) RaiseRuntime(kErrInvalidCall);
  return n;
}

Variant Len(Arguments a) {
  if (a[0].IsNull()) return a[0];
  if (a[0].IsString()) return Variant(static_cast<int32_t>(CharCount(a[0].Bytes())));
  return Variant(static_cast<int32_t>(CharCount(ToText(a[0]))));
}

Variant Left(Arguments a) {
  int32_t n = NonNegative(a, 1);
  if (a[0].IsNull()) return a[0];
  std::string s = ToText(a[0]);
  return Variant(CharSlice(s, 0, static_cast<size_t>(n)));
}

Variant Right(Arguments a) {
  int32_t n = NonNegative(a, 1);
  if (a[0].IsNull()) return a[0];
  std::string s = ToText(a[0]);
  size_t count = CharCount(s);
  size_t start = count > static_cast<size_t>(n) ? count - static_cast<size_t>(n) : 0;
  return Variant(std::string(s.substr(ByteOffset(s, start))));
}

Variant Mid(Arguments a) {
  int32_t start = ToLong(a[1]);
  if (start < 1) RaiseRuntime(kErrInvalidCall);
  int32_t length = Given(a, 2) ? NonNegative(a, 2) : INT32_MAX;
  if (a[0].IsNull()) return a[0];
  std::string s = ToText(a[0]);
  return Variant(CharSlice(s, static_cast<size_t>(start - 1), static_cast<size_t>(length)));
}

// The 1-based character position of `what` in `text` from character
// `start` (1-based), or 0.
int32_t FindFrom(std::string_view text, std::string_view what, size_t start, bool no_case) {
  std::string folded_text, folded_what;
  if (no_case) {
    folded_text = ToLower(text);
    folded_what = ToLower(what);
    text = folded_text;
    what = folded_what;
  }
  size_t from = ByteOffset(text, start - 1);
  size_t at = FindText(text, what, from);
  if (at == std::string_view::npos) return 0;
  return static_cast<int32_t>(CharIndex(text, at) + 1);
}

Variant InStr(Arguments a) {
  // InStr(text, what) or InStr(start, text, what[, compare]).
  size_t shift = a.size() >= 3 ? 1 : 0;
  int32_t start = 1;
  if (shift) {
    if (a[0].IsNull()) RaiseRuntime(kErrInvalidNull);
    start = ToLong(a[0]);
    if (start < 1) RaiseRuntime(kErrInvalidCall);
  }
  bool no_case = shift ? TextCompare(a, 3) : false;
  const Variant& text = a[shift];
  const Variant& what = a[shift + 1];
  if (text.IsNull() || what.IsNull()) return Variant::Null();
  std::string t = ToText(text), w = ToText(what);
  size_t length = CharCount(t);
  if (static_cast<size_t>(start) > length) return Variant(int32_t{0});
  if (w.empty()) return Variant(start);
  return Variant(FindFrom(t, w, static_cast<size_t>(start), no_case));
}

Variant InStrRev(Arguments a) {
  int32_t start = LongArgument(a, 2, -1);
  if (start == 0 || start < -1) RaiseRuntime(kErrInvalidCall);
  bool no_case = TextCompare(a, 3);
  if (a[0].IsNull() || a[1].IsNull()) return Variant::Null();
  std::string t = ToText(a[0]), w = ToText(a[1]);
  size_t length = CharCount(t);
  if (start == -1) start = static_cast<int32_t>(length);
  if (static_cast<size_t>(start) > length) return Variant(int32_t{0});
  if (w.empty()) return Variant(start);
  if (no_case) {
    t = ToLower(t);
    w = ToLower(w);
  }
  // The match must end at or before character `start`.
  std::string_view prefix =
      std::string_view(t).substr(0, ByteOffset(t, static_cast<size_t>(start)));
  size_t at = FindLastText(prefix, w);
  if (at == std::string_view::npos) return Variant(int32_t{0});
  return Variant(static_cast<int32_t>(CharIndex(t, at) + 1));
}

Variant UCase(Arguments a) {
  if (a[0].IsNull()) return a[0];
  return Variant(ToUpper(ToText(a[0])));
}

Variant LCase(Arguments a) {
  if (a[0].IsNull()) return a[0];
  return Variant(ToLower(ToText(a[0])));
}

// Only blanks are trimmed, not tabs or line breaks.
Variant TrimSides(const Variant& v, bool left, bool right) {
  if (v.IsNull()) return v;
  std::string s = ToText(v);
  size_t b = 0, e = s.size();
  if (left) while (b < e && s[b] == ' ') ++b;
  if (right) while (e > b && s[e - 1] == ' ') --e;
  return Variant(s.substr(b, e - b));
}

Variant Trim(Arguments a) { return TrimSides(a[0], true, true); }
Variant LTrim(Arguments a) { return TrimSides(a[0], true, false); }
Variant RTrim(Arguments a) { return TrimSides(a[0], false, true); }

// Replace(text, find, with[, start[, count[, compare]]]): the result starts
// at character `start` (the text before it is dropped); count -1 replaces
// every occurrence.
Variant Replace(Arguments a) {
  for (size_t i = 0; i < 3; ++i) {
    if (a[i].IsNull()) RaiseRuntime(kErrInvalidNull);
  }
  int32_t start = LongArgument(a, 3, 1);
  int32_t count = LongArgument(a, 4, -1);
  if (start < 1 || count < -1) RaiseRuntime(kErrInvalidCall);
  bool no_case = TextCompare(a, 5);
  std::string text = ToText(a[0]), find = ToText(a[1]), with = ToText(a[2]);
  std::string_view rest =
      std::string_view(text).substr(ByteOffset(text, static_cast<size_t>(start - 1)));
  if (find.empty() || count == 0) return Variant(rest);
  std::string out;
  size_t copied = 0;  // bytes of rest already written or replaced
  int32_t done = 0;
  if (!no_case) {
    for (size_t at; (count < 0 || done < count) &&
                    (at = FindText(rest, find, copied)) != std::string_view::npos;
         ++done) {
      out.append(rest.substr(copied, at - copied)).append(with);
      CheckTextLength(out.size());
      copied = at + find.size();
    }
  } else {
    // Case folding keeps characters one for one, though not always their
    // byte lengths: a match found in the folded text is carried over to the
    // original by its character position.
    std::string search = ToLower(rest), needle = ToLower(find);
    size_t needle_chars = CharCount(needle);
    size_t search_at = 0, search_chars = 0, copied_chars = 0;
    for (size_t at; (count < 0 || done < count) &&
                    (at = FindText(search, needle, search_at)) != std::string::npos;
         ++done) {
      size_t at_chars =
          search_chars + CharCount(std::string_view(search).substr(search_at, at - search_at));
      size_t begin = copied + ByteOffset(rest.substr(copied), at_chars - copied_chars);
      size_t end = begin + ByteOffset(rest.substr(begin), needle_chars);
      out.append(rest.substr(copied, begin - copied)).append(with);
      CheckTextLength(out.size());
      copied = end;
      copied_chars = at_chars + needle_chars;
      search_at = at + needle.size();
      search_chars = copied_chars;
    }
  }
  out.append(rest.substr(copied));
  ChargeText(out.size());
  return Variant(std::move(out));
}

Variant Space(Arguments a) {
  int32_t n = NonNegative(a, 0);
  ChargeText(static_cast<size_t>(n));
  return Variant(std::string(static_cast<size_t>(n), ' '));
}

// String(count, character): the character as a text (its first character)
// or as a code (taken modulo 256, as the script world does).
Variant StringOf(Arguments a) {
  if (a[1].IsNull()) return a[1];
  int32_t n = NonNegative(a, 0);
  std::string unit;
  if (a[1].IsString()) {
    std::string_view s = a[1].Bytes();
    if (s.empty()) RaiseRuntime(kErrInvalidCall);
    unit = s.substr(0, CharLength(s, 0));
  } else {
    int32_t code = ToLong(a[1]) % 256;
    if (code < 0) code += 256;
    AppendChar(unit, CodePageChar(code));
  }
  ChargeText(unit.size() * static_cast<size_t>(n));
  std::string out;
  out.reserve(unit.size() * static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) out.append(unit);
  return Variant(std::move(out));
}

Variant StrReverse(Arguments a) { return Variant(ReverseChars(ToText(a[0]))); }

Variant StrComp(Arguments a) {
  bool no_case = TextCompare(a, 2);
  if (a[0].IsNull() || a[1].IsNull()) return Variant::Null();
  std::string x = ToText(a[0]), y = ToText(a[1]);
  if (no_case) {
    x = ToLower(x);
    y = ToLower(y);
  }
  int c = x.compare(y);
  return Variant(static_cast<int16_t>(c < 0 ? -1 : c > 0 ? 1 : 0));
}

uint32_t FirstChar(const Variant& v) {
  std::string s = ToText(v);
  if (s.empty()) RaiseRuntime(kErrInvalidCall);
  size_t length;
  return DecodeChar(s, 0, length);
}

// The classic code page's code of the first character; 63 ("?") for a
// character the code page does not have.
Variant Asc(Arguments a) {
  uint32_t cp = FirstChar(a[0]);
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return Variant(static_cast<int16_t>(cp));
  for (int i = 0; i < 32; ++i) {
    if (kWindows1252[i] == cp) return Variant(static_cast<int16_t>(0x80 + i));
  }
  return Variant(static_cast<int16_t>('?'));
}

Variant AscW(Arguments a) { return FitInteger(FirstChar(a[0])); }

Variant Chr(Arguments a) {
  int32_t code = ToLong(a[0]);
  if (code < 0 || code > 255) RaiseRuntime(kErrInvalidCall);
  std::string out;
  AppendChar(out, CodePageChar(code));
  return Variant(std::move(out));
}

Variant ChrW(Arguments a) {
  int32_t code = ToLong(a[0]);
  if (code < -32768 || code > 0x10FFFF) RaiseRuntime(kErrInvalidCall);
  if (code < 0) code += 65536;
  // A lone surrogate is no character in UTF-8.
  if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
  std::string out;
  AppendChar(out, static_cast<uint32_t>(code));
  return Variant(std::move(out));
}

constexpr Builtin kStringBuiltins[] = {
    {"Len", 1, 1, Len},           {"Left", 2, 2, Left},       {"Right", 2, 2, Right},
    {"Mid", 2, 3, Mid},           {"InStr", 2, 4, InStr},     {"InStrRev", 2, 4, InStrRev},
    {"UCase", 1, 1, UCase},       {"LCase", 1, 1, LCase},     {"Trim", 1, 1, Trim},
    {"LTrim", 1, 1, LTrim},       {"RTrim", 1, 1, RTrim},     {"Replace", 3, 6, Replace},
    {"Space", 1, 1, Space},       {"String", 2, 2, StringOf}, {"StrReverse", 1, 1, StrReverse},
    {"StrComp", 2, 3, StrComp},   {"Asc", 1, 1, Asc},         {"AscW", 1, 1, AscW},
    {"Chr", 1, 1, Chr},           {"ChrW", 1, 1, ChrW},
};

}  // namespace

std::span<const Builtin> StringBuiltins() { return kStringBuiltins; }

}  // namespace fennick::script
