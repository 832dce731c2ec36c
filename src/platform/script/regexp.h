// Regular expressions as pages write them for column formats: the VBScript
// RegExp object (Pattern, IgnoreCase, Global, Multiline, Test, Replace) on
// PCRE2.
//
// Patterns use the ECMAScript-style syntax of the script world (\d \w \s \b,
// lazy quantifiers, (?:...), lookahead, \uhhhh, \xhh); `$` matches only at
// the very end unless Multiline is on. Replacement texts use the script
// world's syntax, expanded here from the match offsets: $1 to $99 (a group
// that took no part gives ""), $& the match, $` the text before it, $' the
// text after it, $$ a dollar sign; any other "$" is copied as written.
//
// Matching is bounded: a pattern that backtracks without end raises an error
// instead of holding the thread, and a match running while a page is past
// its deadline stops with kErrPageTimeLimit (checked at every few positions
// where a match attempt starts, so a long text does not multiply the step
// limit beyond the page's time). Compiled patterns are cached per thread by
// pattern and flags, so a RegExp built per grid cell compiles nothing after
// the first cell.
#ifndef FENNICK_PLATFORM_SCRIPT_REGEXP_H_
#define FENNICK_PLATFORM_SCRIPT_REGEXP_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace fennick::script {

// Error numbers raised by RegExp.
inline constexpr int32_t kErrRegExpSyntax = 5017;   // "Syntax error in regular expression"
// A match that exceeds its bounds raises the script world's "out of stack
// space" number, with a description naming the pattern.
inline constexpr int32_t kErrRegExpLimit = 28;

// Matching steps allowed for one match attempt before it fails with
// kErrRegExpLimit. Plenty for any grid cell; a catastrophic pattern on a
// short text reaches it in milliseconds.
inline constexpr uint32_t kRegExpMatchLimit = 1'000'000;

class CompiledPattern;

// A regular expression with its options. Copyable; not thread-safe (one
// object per thread), though copies may be used on different threads.
class RegExp {
 public:
  RegExp();
  ~RegExp();
  RegExp(const RegExp&);
  RegExp& operator=(const RegExp&);
  RegExp(RegExp&&) noexcept;
  RegExp& operator=(RegExp&&) noexcept;

  const std::string& Pattern() const { return pattern_; }
  void Pattern(std::string_view pattern);
  // Case-insensitive matching (Unicode case folding). Default off.
  bool IgnoreCase() const { return ignore_case_; }
  void IgnoreCase(bool value);
  // Replace every match instead of the first only. Default off.
  bool Global() const { return global_; }
  void Global(bool value);
  // ^ and $ also match at line breaks. Default off.
  bool Multiline() const { return multiline_; }
  void Multiline(bool value);

  // Whether the pattern matches somewhere in text. Raises fennick::Error
  // kErrRegExpSyntax (naming the pattern) when the pattern does not compile,
  // kErrRegExpLimit when matching exceeds its bounds, kErrPageTimeLimit when
  // the page bound to the thread reaches its deadline.
  bool Test(std::string_view text) const;

  // text with the first match (every match when Global) replaced by the
  // expanded replacement. Raises as Test does.
  std::string Replace(std::string_view text, std::string_view replacement) const;

  // Appends a piece of text to out.
  using AppendText = void (*)(std::string_view text, std::string& out);
  // Replace, with every piece that comes from text (the parts outside the
  // match, and $1..$99, $&, $`, $' in the replacement) appended by
  // append_data, and the replacement's own text appended as written. This
  // lets a caller encode what came from its data while keeping the
  // replacement's markup; append_data sees out as built so far.
  std::string Replace(std::string_view text, std::string_view replacement,
                      AppendText append_data) const;

 private:
  const CompiledPattern& Compiled() const;

  std::string pattern_;
  bool ignore_case_ = false;
  bool global_ = false;
  bool multiline_ = false;
  // Resolved on first use after the pattern or a flag changed.
  mutable std::shared_ptr<const CompiledPattern> compiled_;
};

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_REGEXP_H_
