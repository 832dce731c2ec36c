// StringBuffer: the growable string builder of the component.
//
// The buffer keeps spare characters past its content and grows in steps of
// 15000, so a long series of appends reallocates rarely. Not thread-safe.
#ifndef FENNICK_STRING_BUFFER_H_
#define FENNICK_STRING_BUFFER_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace fennick {

class StringBuffer {
 public:
  static constexpr size_t kGrowthStep = 15000;

  // Empties the buffer and releases its capacity.
  void ReInit();
  // The buffer becomes `source` followed by kGrowthStep spare characters.
  void SetString(std::string_view source);
  // The content, without the spare characters.
  std::string ToString() const { return buffer_.substr(0, length_); }
  std::string_view View() const { return std::string_view(buffer_).substr(0, length_); }
  // Writes `text` after the content, first growing the buffer in steps of
  // kGrowthStep while content plus text would reach its size.
  void Append(std::string_view text);

  size_t Length() const { return length_; }
  size_t Capacity() const { return buffer_.size(); }

 private:
  std::string buffer_;  // content, then spare '\0' characters
  size_t length_ = 0;
};

}  // namespace fennick

#endif  // FENNICK_STRING_BUFFER_H_
