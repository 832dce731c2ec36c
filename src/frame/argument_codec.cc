// Postback argument encoding and pair lookup.
#include "frame/argument_codec.h"

#include <array>

namespace fennick {
namespace {

constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> MakeDecodeTable() {
  std::array<int8_t, 256> table{};
  for (auto& v : table) v = -1;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
  return table;
}

constexpr std::array<int8_t, 256> kDecode = MakeDecodeTable();

}  // namespace

std::string EncodeArgument(std::string_view text) {
  std::string padded(text);
  while (padded.size() % 3 != 0) padded.push_back(' ');
  std::string out;
  out.reserve(padded.size() / 3 * 4);
  for (size_t i = 0; i < padded.size(); i += 3) {
    uint32_t n = (static_cast<unsigned char>(padded[i]) << 16) |
                 (static_cast<unsigned char>(padded[i + 1]) << 8) |
                 static_cast<unsigned char>(padded[i + 2]);
    out.push_back(kAlphabet[(n >> 18) & 63]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.push_back(kAlphabet[(n >> 6) & 63]);
    out.push_back(kAlphabet[n & 63]);
  }
  return out;
}

std::string DecodeArgument(std::string_view text) {
  if (text.size() % 4 != 0) return std::string();
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t n = 0;
    for (size_t j = 0; j < 4; ++j) {
      int v = kDecode[static_cast<unsigned char>(text[i + j])];
      if (v < 0) return std::string();
      n = (n << 6) | static_cast<uint32_t>(v);
    }
    out.push_back(static_cast<char>((n >> 16) & 255));
    out.push_back(static_cast<char>((n >> 8) & 255));
    out.push_back(static_cast<char>(n & 255));
  }
  return out;
}

std::string GetArgument(std::string_view pairs, std::string_view key) {
  std::string haystack;
  if (pairs.empty() || pairs.front() != ';') haystack.push_back(';');
  haystack.append(pairs);
  std::string needle = ";";
  needle.append(key);
  needle.push_back(':');
  size_t at = haystack.find(needle);
  if (at == std::string::npos) return std::string();
  size_t start = at + needle.size();
  size_t end = haystack.find(';', start);
  return haystack.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace fennick
