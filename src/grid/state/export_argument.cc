// Percent-encoding of export argument values.
#include "grid/state/export_argument.h"

#include "base/ascii.h"

namespace fennick {

std::string EncodeExportValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case ',': out += "%2C"; break;
      case ';': out += "%3B"; break;
      case '%': out += "%25"; break;
      default: out += c;
    }
  }
  return out;
}

std::string DecodeExportValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      std::string code = AsciiUpper(text.substr(i + 1, 2));
      char decoded = code == "2C" ? ',' : code == "3B" ? ';' : code == "25" ? '%' : '\0';
      if (decoded != '\0') {
        out += decoded;
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::vector<std::string> DecodeCaptionList(std::string_view list) {
  std::vector<std::string> captions;
  if (list.empty()) return captions;
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    captions.push_back(DecodeExportValue(list.substr(start, comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return captions;
}

}  // namespace fennick
