// Text routines of the bar graph: the output appender, numbers as text,
// splitting lists, reading numeric values and removing markup.
//
// Numbers are written with "." as the decimal point whatever the locale:
// graph values travel as comma-separated text, so a decimal comma would
// split a value in two.
#ifndef FENNICK_GRAPH_GRAPH_TEXT_H_
#define FENNICK_GRAPH_GRAPH_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "fennick/string_buffer.h"
#include "fennick/variant.h"

namespace fennick::graph {

// A number to be written as text: whole numbers without a decimal part,
// others with up to 15 significant digits ("12.5", "2.85714285714286").
struct Num {
  template <class T>
    requires std::is_arithmetic_v<T>
  constexpr Num(T number) : value(static_cast<double>(number)) {}
  double value;
};

// Writes the number into `buffer` (at least 32 characters) and returns the
// length written.
size_t FormatNumber(double value, char* buffer);
std::string NumberText(double value);

// Appends fragments of the graph straight into the graph's buffer: no
// temporary string per fragment or number.
class GraphOutput {
 public:
  explicit GraphOutput(StringBuffer& buffer) : buffer_(buffer) {}

  GraphOutput& operator<<(std::string_view text) {
    buffer_.Append(text);
    return *this;
  }
  GraphOutput& operator<<(Num number) {
    char text[40];
    buffer_.Append(std::string_view(text, FormatNumber(number.value, text)));
    return *this;
  }
  // Appends text with its markup removed (see StripTags).
  void AppendStripped(std::string_view text);
  // Appends text for a double-quoted attribute value: a double quote
  // becomes &quot; so that the text cannot end the attribute. Nothing else
  // changes, so entities the page wrote keep working.
  void AppendQuotedAttribute(std::string_view text, bool strip_tags);

 private:
  StringBuffer& buffer_;
};

// Whether `text` is a number (invariant form, blanks around it allowed;
// infinities and NaN are not numbers), and its value.
bool NumericText(std::string_view text, double& value);

// The text without markup: "<" starts a tag and ">" ends it; tags and both
// brackets are dropped, so "<b>Jan</b>" gives "Jan" and a lone ">" vanishes.
std::string StripTags(std::string_view text);

// The number of characters (not bytes) of UTF-8 text.
size_t CharacterCount(std::string_view text);

// Appends the text a value stands for in a row of values: numbers with "."
// as the decimal point, other values as their invariant text.
void AppendValueText(std::string& out, const Variant& value);

}  // namespace fennick::graph

#endif  // FENNICK_GRAPH_GRAPH_TEXT_H_
