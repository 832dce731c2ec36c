// Errors with a reference number: the log line, and the message a page
// may show.
#include "frame/error_reference.h"

#include <cstdio>
#include <random>

#include "base/ascii.h"
#include "fennick/page.h"

namespace fennick {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool AllOf(std::string_view text, bool (*pred)(char)) {
  for (char c : text) {
    if (!pred(c)) return false;
  }
  return !text.empty();
}

// "10.0.0.5", optionally with ":3306".
bool IsIpv4(std::string_view text) {
  text = text.substr(0, text.find(':'));
  int dots = 0;
  for (char c : text) {
    if (c == '.') {
      ++dots;
    } else if (!IsDigit(c)) {
      return false;
    }
  }
  return dots == 3;
}

// "::1", "fe80::2", "[::1]:5432".
bool IsIpv6(std::string_view text) {
  int colons = 0;
  for (char c : text) {
    if (c == ':') {
      ++colons;
    } else if (!IsHexDigit(c) && c != '[' && c != ']' && c != '.') {
      return false;
    }
  }
  return colons >= 2;
}

// Whether a quoted text names a place: an address, host:port, or a path.
bool IsQuotedPlace(std::string_view text) {
  if (text.find('/') != std::string_view::npos || text.find('\\') != std::string_view::npos) {
    return true;
  }
  const size_t colon = text.rfind(':');
  if (colon != std::string_view::npos && colon > 0 &&
      AllOf(text.substr(colon + 1), [](char c) { return IsDigit(c); })) {
    return true;
  }
  return IsIpv4(text) || IsIpv6(text);
}

// Whether a word outside quotes names a place: an absolute path or an
// address. ("TCP/IP" is a word, not a path.)
bool IsBarePlace(std::string_view word) {
  return (word.size() > 1 && word[0] == '/') || IsIpv4(word) || IsIpv6(word);
}

// The last word of `out` (letters only, lower case) and where it starts.
std::string LastWord(const std::string& out, size_t& start) {
  size_t end = out.size();
  while (end > 0 && out[end - 1] == ' ') --end;
  start = end;
  while (start > 0 && IsLetter(out[start - 1])) --start;
  return AsciiLower(std::string_view(out).substr(start, end - start));
}

void TrimEnd(std::string& out, std::string_view chars) {
  while (!out.empty() && chars.find(out.back()) != std::string_view::npos) out.pop_back();
}

// Removes the trailing words that only led up to a removed place ("at",
// "on socket", "through socket"), and the blanks before it.
void DropLeadWords(std::string& out) {
  for (int i = 0; i < 2; ++i) {
    size_t start = 0;
    const std::string word = LastWord(out, start);
    if (word != "at" && word != "on" && word != "through" && word != "socket") break;
    out.resize(start);
  }
  TrimEnd(out, " ");
}

// Whether a quoted text after `out` names a place by what leads to it
// ("host 'db1'", "host name \"db1\"", "socket '...'", "server on 'db1'").
bool LedToPlace(const std::string& out) {
  size_t start = 0;
  const std::string word = LastWord(out, start);
  if (word == "at" || word == "on" || word == "host" || word == "socket" || word == "through") {
    return true;
  }
  if (word != "name") return false;
  std::string before = out.substr(0, start);
  return LastWord(before, start) == "host";
}

bool StartsWithPortNumber(std::string_view rest) {
  if (rest.size() < 6 || AsciiLower(rest.substr(0, 5)) != "port ") return false;
  return IsDigit(rest[5]);
}

}  // namespace

std::string LogWithReference(std::string_view detail) {
  static thread_local std::mt19937 generator{std::random_device{}()};
  char reference[16];
  std::snprintf(reference, sizeof reference, "%08X", static_cast<unsigned>(generator()));
  std::string line = "error ";
  line.append(reference);
  PageContext* page = CurrentPage();
  if (page != nullptr) line.append(" on ").append(page->Url());
  line.append(": ");
  for (char c : detail) line.push_back(c == '\r' || c == '\n' || c == '\t' ? ' ' : c);
  if (page != nullptr) {
    page->Log(line);
  } else {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
  return reference;
}

std::string WithoutServerDetails(std::string_view message) {
  std::string out;
  out.reserve(message.size());
  size_t i = 0;
  while (i < message.size()) {
    const char c = message[i];
    const bool word_start = i == 0 || message[i - 1] == ' ' || message[i - 1] == '(' ||
                            message[i - 1] == ',' || message[i - 1] == '\t';
    // A quote opens at the start of a word ("Can't" holds none) and
    // closes where no letter follows ("'it''s'" is not read as two).
    const bool opens =
        i == 0 || std::string_view(" (@=,:\t\n").find(message[i - 1]) != std::string_view::npos;
    if ((c == '\'' || c == '"') && opens) {
      size_t close = message.find(c, i + 1);
      while (close != std::string_view::npos && close + 1 < message.size() &&
             IsLetter(message[close + 1])) {
        close = message.find(c, close + 1);
      }
      if (close == std::string_view::npos) {
        out.append(message.substr(i));
        break;
      }
      const std::string_view quoted = message.substr(i + 1, close - i - 1);
      if (!out.empty() && out.back() == '@') {
        out.pop_back();  // user@'host': the user stays
      } else if (IsQuotedPlace(quoted) || LedToPlace(out)) {
        DropLeadWords(out);
      } else {
        out.append(message.substr(i, close - i + 1));
      }
      i = close + 1;
      continue;
    }
    if (c == '(') {
      const size_t close = message.find(')', i);
      if (close != std::string_view::npos && IsQuotedPlace(message.substr(i + 1, close - i - 1))) {
        TrimEnd(out, " ");
        i = close + 1;
        continue;
      }
    }
    if (word_start && StartsWithPortNumber(message.substr(i))) {
      i += 5;
      while (i < message.size() && IsDigit(message[i])) ++i;
      TrimEnd(out, " ,");
      size_t start = 0;
      if (LastWord(out, start) == "on") {
        out.resize(start);
        TrimEnd(out, " ");
      }
      continue;
    }
    if (word_start && c != ' ') {
      size_t end = message.find_first_of(" \t\r\n,;)", i);
      if (end == std::string_view::npos) end = message.size();
      if (IsBarePlace(message.substr(i, end - i))) {
        TrimEnd(out, " ");
        i = end;
        continue;
      }
    }
    out.push_back(c);
    ++i;
  }
  return out;
}

std::string DatabaseErrorForPage(std::string_view description, std::string_view sql) {
  std::string detail(description);
  if (!sql.empty()) detail.append(" | SQL: ").append(sql);
  const std::string reference = LogWithReference(detail);
  return WithoutServerDetails(description) + " (reference " + reference + ")";
}

}  // namespace fennick
