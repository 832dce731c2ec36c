// Connection string parsing.
#include "platform/data/connection_string.h"

#include "base/ascii.h"
#include "fennick/data.h"
#include "fennick/error.h"

namespace fennick::data {
namespace {

std::string NormaliseKey(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == ' ' || c == '_' || c == '\t') continue;
    out.push_back(AsciiLowerChar(c));
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsPasswordKey(std::string_view normalised_key) {
  return normalised_key == "pwd" || normalised_key == "password";
}

[[noreturn]] void Malformed(std::string_view why) {
  throw Error(kErrDataInvalidArgument, "Invalid connection string: " + std::string(why),
              "Connection");
}

}  // namespace

ConnectionString ConnectionString::Parse(std::string_view text) {
  ConnectionString result;
  result.text_ = text;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      std::string_view rest =
          Trim(text.substr(i, semi == std::string_view::npos ? std::string_view::npos : semi - i));
      if (!rest.empty()) {
        // Text after a password's ";" is most likely the rest of the
        // password: it is not repeated.
        if (!result.entries_.empty() && IsPasswordKey(result.entries_.back().first)) {
          Malformed("a \";\" in a password value (put the value in quotes)");
        }
        Malformed("\"" + std::string(rest) + "\" has no \"=\"");
      }
      if (semi == std::string_view::npos) break;
      i = semi + 1;
      continue;
    }
    std::string key = NormaliseKey(text.substr(i, eq - i));
    size_t j = eq + 1;
    while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
    std::string value;
    if (j < text.size() && (text[j] == '"' || text[j] == '\'')) {
      char quote = text[j++];
      bool closed = false;
      while (j < text.size()) {
        if (text[j] == quote) {
          if (j + 1 < text.size() && text[j + 1] == quote) {
            value.push_back(quote);
            j += 2;
            continue;
          }
          closed = true;
          ++j;
          break;
        }
        value.push_back(text[j++]);
      }
      if (!closed) Malformed("unterminated quote in the value of \"" + key + "\"");
      size_t end = text.find(';', j);
      if (!Trim(text.substr(j, end == std::string_view::npos ? std::string_view::npos : end - j))
               .empty()) {
        Malformed("text after the quoted value of \"" + key + "\"");
      }
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else {
      // A braced value may hold ";": look for the end after its brace.
      size_t from = j;
      if (j < text.size() && text[j] == '{') {
        size_t k = j + 1;
        while (k < text.size() &&
               !(text[k] == '}' && (k + 1 == text.size() || text[k + 1] != '}'))) {
          k += text[k] == '}' ? 2 : 1;  // "}}" stands for "}" inside the braces
        }
        if (k < text.size()) from = k;
      }
      size_t end = text.find(';', from);
      value =
          Trim(text.substr(j, end == std::string_view::npos ? std::string_view::npos : end - j));
      i = end == std::string_view::npos ? text.size() : end + 1;
    }
    if (key.empty()) Malformed("a value without a key");
    for (auto it = result.entries_.begin(); it != result.entries_.end(); ++it) {
      if (it->first == key) {
        result.entries_.erase(it);
        break;
      }
    }
    result.entries_.emplace_back(std::move(key), std::move(value));
  }
  return result;
}

std::optional<std::string> ConnectionString::Find(
    std::initializer_list<std::string_view> keys) const {
  for (std::string_view key : keys) {
    std::string wanted = NormaliseKey(key);
    for (const auto& [k, v] : entries_) {
      if (k == wanted) return v;
    }
  }
  return std::nullopt;
}

std::string ConnectionString::Get(std::initializer_list<std::string_view> keys) const {
  return Find(keys).value_or("");
}

bool AsksToCreateDatabase(const ConnectionString& options) {
  const std::string mode = options.Get({"Mode"});
  constexpr std::string_view kCreate = "readwritecreate";
  if (mode.size() != kCreate.size()) return false;
  for (size_t i = 0; i < mode.size(); ++i) {
    const char c = mode[i] >= 'A' && mode[i] <= 'Z' ? static_cast<char>(mode[i] - 'A' + 'a')
                                                    : mode[i];
    if (c != kCreate[i]) return false;
  }
  return true;
}

std::string MaskPassword(std::string message, std::string_view password) {
  if (password.size() >= 4) ReplaceAll(message, password, "****");
  return message;
}

}  // namespace fennick::data
