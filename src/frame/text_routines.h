// Small text routines the grid, the designer and the exporters share:
// splitting at separators, option-list lookup, link and image markup, plain
// text, ordinal days, random texts and rounding up.
#ifndef FENNICK_FRAME_TEXT_ROUTINES_H_
#define FENNICK_FRAME_TEXT_ROUTINES_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace fennick {

// The part of text before the first occurrence of separator (exact case);
// the whole text when the separator is absent.
std::string StringBefore(std::string_view text, std::string_view separator);
// The part after the first occurrence; "" when the separator is absent.
std::string StringAfter(std::string_view text, std::string_view separator);

// The value of an entry of an option list: the text between
// "|||" + key + "|=|" and the next "|||" (or the end); "" when missing.
std::string LookupEntry(std::string_view list, std::string_view key);

// Link or image markup for a cell or a button: an image when text names a
// .gif, .png, .jpg or .bmp file (drawn from images_url), a link when href is
// given. A class, target or style value containing "=" is taken as a ready
// attribute; one without becomes class="value" and so on.
std::string MakeLink(std::string_view text, std::string_view title, std::string_view href,
                     std::string_view class_name, std::string_view style,
                     std::string_view target, std::string_view images_url);

// The text without markup, keeping only ASCII letters, digits and the
// characters of `extra`.
std::string PlainText(std::string_view text, std::string_view extra);
// The digits 0 to 9 of text, in their order.
std::string DigitsOnly(std::string_view text);
// day + "<sup>st</sup>" (nd, rd, th) as English writes ordinal days.
std::string OrdinalSuffix(int day);
// A random text of `length` characters from digits and ASCII letters, from
// a cryptographic generator.
std::string RandomText(size_t length);
// The smallest integer not below number, as a 16-bit Integer; raises error 6
// "Overflow" beyond its range.
int16_t RoundUp(double number);

}  // namespace fennick

#endif  // FENNICK_FRAME_TEXT_ROUTINES_H_
