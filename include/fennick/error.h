// The component's error type and the page-ending signal.
//
// Every failure that crosses a layer boundary is a fennick::Error with a
// number, a description and a source, as pages expect of the component.
// Routines that re-raise an error with their trace step append to the source.
#ifndef FENNICK_ERROR_H_
#define FENNICK_ERROR_H_

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace fennick {

class Error : public std::exception {
 public:
  Error(int32_t number, std::string description, std::string source = "")
      : number_(number),
        description_(std::move(description)),
        source_(std::move(source)) {}

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }
  void AppendSource(std::string_view text) { source_.append(text); }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

// Well-known error numbers of the script world.
inline constexpr int32_t kErrInvalidCall = 5;
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrDivisionByZero = 11;
inline constexpr int32_t kErrTypeMismatch = 13;
inline constexpr int32_t kErrInvalidNull = 94;
inline constexpr int32_t kErrObjectRequired = 424;
inline constexpr int32_t kErrNoMember = 438;
inline constexpr int32_t kErrWrongArgCount = 450;
inline constexpr int32_t kErrWriteOnly = 451;
inline constexpr int32_t kErrCannotCreate = 429;
// Work stopped because its page reached its time limit ("Script timed out").
inline constexpr int32_t kErrPageTimeLimit = 113;
// A page's response grew beyond the server's cap on buffered responses.
inline constexpr int32_t kErrResponseTooLarge = 7;

// Thrown by Response.End and Response.Redirect to stop the page. It is not a
// std::exception, so handlers for component errors let it pass untouched; the
// host catches it and sends what the page has written.
struct PageEnd {};

}  // namespace fennick

#endif  // FENNICK_ERROR_H_
