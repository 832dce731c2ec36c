// Connection strings: "Key=Value;Key2=Value2".
//
// Keys are matched ignoring case, blanks and underscores ("User ID",
// "userid" and "USER_ID" are one key). A value may be put in double or
// single quotes to hold ";" or blanks at its ends; a doubled quote inside
// stands for one. A value in braces, as ODBC writes them ("{SQL Server}",
// "{a;b}"), runs to its closing brace, braces kept. When a key appears
// twice the last one wins.
#ifndef FENNICK_PLATFORM_DATA_CONNECTION_STRING_H_
#define FENNICK_PLATFORM_DATA_CONNECTION_STRING_H_

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::data {

class ConnectionString {
 public:
  // Raises kErrDataInvalidArgument for a segment without "=" or an
  // unterminated quote.
  static ConnectionString Parse(std::string_view text);

  // The value of the first of `keys` that is present.
  std::optional<std::string> Find(std::initializer_list<std::string_view> keys) const;
  // As Find, "" when none is present.
  std::string Get(std::initializer_list<std::string_view> keys) const;
  // The text the string was parsed from.
  const std::string& text() const { return text_; }

 private:
  std::string text_;
  std::vector<std::pair<std::string, std::string>> entries_;  // normalised key, value
};

// Whether opening with these options may create a database file that does
// not exist yet (SQLite's "Mode=ReadWriteCreate", in any case). Opening
// never creates one otherwise.
bool AsksToCreateDatabase(const ConnectionString& options);

// `message` with every occurrence of `password` written as "****".
// Passwords shorter than 4 characters are left alone: hiding every "e"
// would only garble the message.
std::string MaskPassword(std::string message, std::string_view password);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_CONNECTION_STRING_H_
