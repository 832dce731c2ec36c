// Numbers as text, list splitting, numeric values and markup removal.
#include "graph/graph_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace fennick::graph {

size_t FormatNumber(double value, char* buffer) {
  // Whole numbers are the common case (pixels, steps, percentages) and are
  // written as integers; -0 is written as "0".
  if (value == 0) {
    buffer[0] = '0';
    return 1;
  }
  if (std::fabs(value) < 1e15 && std::nearbyint(value) == value) {
    auto res = std::to_chars(buffer, buffer + 32, static_cast<int64_t>(value));
    return static_cast<size_t>(res.ptr - buffer);
  }
  auto res = std::to_chars(buffer, buffer + 32, value, std::chars_format::general, 15);
  for (char* p = buffer; p < res.ptr; ++p) {
    if (*p == 'e') *p = 'E';
  }
  return static_cast<size_t>(res.ptr - buffer);
}

std::string NumberText(double value) {
  char text[40];
  return std::string(text, FormatNumber(value, text));
}

void GraphOutput::AppendStripped(std::string_view text) {
  bool in_tag = false;
  size_t run = 0;  // start of the current run of copied characters
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '<' || c == '>') {
      if (!in_tag && i > run) buffer_.Append(text.substr(run, i - run));
      in_tag = c == '<';
      run = i + 1;
    } else if (in_tag) {
      run = i + 1;
    }
  }
  if (!in_tag && run < text.size()) buffer_.Append(text.substr(run));
}

void GraphOutput::AppendQuotedAttribute(std::string_view text, bool strip_tags) {
  if (text.find('"') == std::string_view::npos) {
    if (strip_tags) {
      AppendStripped(text);
    } else {
      buffer_.Append(text);
    }
    return;
  }
  std::string plain = strip_tags ? StripTags(text) : std::string(text);
  size_t start = 0;
  for (size_t q = plain.find('"'); q != std::string::npos; q = plain.find('"', start)) {
    buffer_.Append(std::string_view(plain).substr(start, q - start));
    buffer_.Append("&quot;");
    start = q + 1;
  }
  buffer_.Append(std::string_view(plain).substr(start));
}

bool NumericText(std::string_view text, double& value) {
  double v;
  if (!ParseNumber(text, v) || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::string StripTags(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool in_tag = false;
  for (char c : text) {
    if (c == '<') {
      in_tag = true;
    } else if (c == '>') {
      in_tag = false;
    } else if (!in_tag) {
      out.push_back(c);
    }
  }
  return out;
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

void AppendValueText(std::string& out, const Variant& value) {
  char text[40];
  switch (value.type()) {
    case VarType::kDouble:
    case VarType::kDecimal:
    case VarType::kCurrency:
      out.append(text, FormatNumber(value.AsDouble(), text));
      return;
    case VarType::kSingle: {
      // A Single shows the digits a Single holds, not its widened double.
      auto res = std::to_chars(text, text + sizeof text, static_cast<float>(value.AsDouble()));
      for (char* p = text; p < res.ptr; ++p) {
        if (*p == 'e') *p = 'E';
      }
      out.append(text, res.ptr);
      return;
    }
    default:
      value.AppendTo(out);
  }
}

}  // namespace fennick::graph
