// The postback argument's text form: Base64 with blank padding, and the
// key:value; pairs inside it.
//
// A grid link encodes its action ("1sort:3;lastsort:;rsort:0;") so that it
// survives the form post unchanged. The input is padded with blanks to a
// multiple of three bytes, so no "=" is ever written; decoding keeps the
// padding blanks, which the pair readers tolerate.
#ifndef FENNICK_FRAME_ARGUMENT_CODEC_H_
#define FENNICK_FRAME_ARGUMENT_CODEC_H_

#include <string>
#include <string_view>

namespace fennick {

// Base64 (standard alphabet) of the UTF-8 bytes of text, padded with blanks.
std::string EncodeArgument(std::string_view text);
// The inverse of EncodeArgument. The text comes back from the browser, so
// anything that is not a whole number of 4-character groups of the alphabet
// decodes to "" (an argument that is then ignored).
std::string DecodeArgument(std::string_view text);
// The value of `key` in "key:value;" pairs: the text between the first
// ";" + key + ":" and the next ";" (or the end); "" when the key is missing.
// The search includes the leading ";", so "lastsort" never matches "sort".
std::string GetArgument(std::string_view pairs, std::string_view key);

}  // namespace fennick

#endif  // FENNICK_FRAME_ARGUMENT_CODEC_H_
