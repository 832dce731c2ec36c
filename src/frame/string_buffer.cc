// StringBuffer growth and copying.
#include "fennick/string_buffer.h"

#include <cstring>

namespace fennick {

void StringBuffer::ReInit() {
  std::string().swap(buffer_);
  length_ = 0;
}

void StringBuffer::SetString(std::string_view source) {
  buffer_.assign(source);
  buffer_.append(kGrowthStep, '\0');
  length_ = source.size();
}

void StringBuffer::Append(std::string_view text) {
  const size_t n = text.size();
  if (length_ + n >= buffer_.size()) {
    size_t size = buffer_.size();
    while (length_ + n >= size) size += kGrowthStep;
    buffer_.resize(size, '\0');
  }
  if (n) std::memcpy(buffer_.data() + length_, text.data(), n);
  length_ += n;
}

}  // namespace fennick
