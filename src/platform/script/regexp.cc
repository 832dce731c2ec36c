// RegExp on PCRE2: compilation with the script world's syntax options, the
// per-thread cache of compiled patterns, bounded matching and the expansion
// of replacement texts.
#define PCRE2_CODE_UNIT_WIDTH 8
#include "platform/script/regexp.h"

#include <pcre2.h>

#include <chrono>
#include <string>
#include <string_view>
#include <unordered_map>

#include "fennick/error.h"
#include "fennick/page.h"

namespace fennick::script {

struct CodeDeleter {
  void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct CompileContextDeleter {
  void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct MatchContextDeleter {
  void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};

class CompiledPattern {
 public:
  CompiledPattern(std::string pattern, std::unique_ptr<pcre2_code, CodeDeleter> code,
                  bool jit)
      : pattern_(std::move(pattern)), code_(std::move(code)), jit_(jit) {
    uint32_t count = 0;
    pcre2_pattern_info(code_.get(), PCRE2_INFO_CAPTURECOUNT, &count);
    group_count_ = count;
  }

  const std::string& pattern() const { return pattern_; }
  const pcre2_code* code() const { return code_.get(); }
  bool jit() const { return jit_; }
  uint32_t group_count() const { return group_count_; }

 private:
  std::string pattern_;
  std::unique_ptr<pcre2_code, CodeDeleter> code_;
  bool jit_;
  uint32_t group_count_ = 0;
};

namespace {

constexpr size_t kCacheGeneration = 256;
constexpr uint32_t kDepthLimit = 10'000;
constexpr uint32_t kHeapLimitKib = 64 * 1024;

// Compile options that give PCRE2 the script world's reading of a pattern:
// \u and \x as ECMAScript writes them, [] as a class that matches nothing,
// $ only at the very end, and subjects that may hold invalid UTF-8 (cell
// values come from databases) matched rather than refused.
uint32_t CompileOptions(bool ignore_case, bool multiline) {
  uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_ALT_BSUX |
                     PCRE2_ALLOW_EMPTY_CLASS | PCRE2_DOLLAR_ENDONLY;
  if (ignore_case) options |= PCRE2_CASELESS;
  if (multiline) options |= PCRE2_MULTILINE;
  return options;
}

std::string PcreMessage(int code) {
  PCRE2_UCHAR buffer[256];
  int n = pcre2_get_error_message(code, buffer, sizeof buffer);
  if (n < 0) return "error " + std::to_string(code);
  return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
}

// Every pattern is compiled with a callout in front ("(?C1)"), which the
// matcher calls at each position where it starts a match attempt: there the
// page's deadline is checked, so that a pattern that backtracks just under
// the step limit at every position of a long text still stops with the page.
// It goes after the start-of-pattern settings such as (*UTF) or
// (*LIMIT_MATCH=n), which must lead.
constexpr std::string_view kDeadlineCallout = "(?C1)";

size_t SettingsLength(std::string_view pattern) {
  static constexpr std::string_view kSettings[] = {
      "UTF", "UCP", "NOTEMPTY", "NOTEMPTY_ATSTART", "NO_AUTO_POSSESS", "NO_DOTSTAR_ANCHOR",
      "NO_JIT", "NO_START_OPT", "CR", "LF", "CRLF", "ANYCRLF", "ANY", "NUL", "BSR_ANYCRLF",
      "BSR_UNICODE"};
  static constexpr std::string_view kLimits[] = {"LIMIT_HEAP=", "LIMIT_MATCH=", "LIMIT_DEPTH=",
                                                 "LIMIT_RECURSION="};
  size_t at = 0;
  while (pattern.substr(at, 2) == "(*") {
    size_t close = pattern.find(')', at);
    if (close == std::string_view::npos) break;
    std::string_view name = pattern.substr(at + 2, close - at - 2);
    bool setting = false;
    for (std::string_view s : kSettings) setting = setting || name == s;
    for (std::string_view s : kLimits) {
      setting = setting || (name.size() > s.size() && name.substr(0, s.size()) == s &&
                            name.find_first_not_of("0123456789", s.size()) == name.npos);
    }
    if (!setting) break;
    at = close + 1;
  }
  return at;
}

std::shared_ptr<const CompiledPattern> CompileNew(const std::string& pattern,
                                                  uint32_t options) {
  // Line breaks are CR, LF and CRLF, as for ECMAScript (. matches neither,
  // and in Multiline mode ^ and $ see database texts' CRLF as one break).
  std::unique_ptr<pcre2_compile_context, CompileContextDeleter> context(
      pcre2_compile_context_create(nullptr));
  if (!context) throw Error(7, "Out of memory", "RegExp");
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANYCRLF);
  size_t settings = SettingsLength(pattern);
  std::string source = pattern;
  source.insert(settings, kDeadlineCallout);
  int error_code = 0;
  PCRE2_SIZE error_offset = 0;
  std::unique_ptr<pcre2_code, CodeDeleter> code(
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.data()), source.size(), options,
                    &error_code, &error_offset, context.get()));
  if (!code) {
    // The offset in the pattern as the page wrote it.
    if (error_offset >= settings + kDeadlineCallout.size()) {
      error_offset -= kDeadlineCallout.size();
    } else if (error_offset > settings) {
      error_offset = settings;
    }
    throw Error(kErrRegExpSyntax,
                "Syntax error in regular expression \"" + pattern + "\": " +
                    PcreMessage(error_code) + " at offset " + std::to_string(error_offset),
                "RegExp");
  }
  // The JIT is an optimisation only: without it (no JIT support on this
  // machine, or no executable memory) the interpreter matches the same way.
  bool jit = pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) == 0;
  return std::make_shared<const CompiledPattern>(pattern, std::move(code), jit);
}

// Compiled patterns of this thread, keyed by flags and pattern. Bounded by
// two generations: when the current one is full it becomes the previous one
// and the older is dropped; a hit in the previous one is carried forward.
class PatternCache {
 public:
  std::shared_ptr<const CompiledPattern> Get(const std::string& pattern, uint32_t options) {
    std::string key;
    key.reserve(pattern.size() + 9);
    key.append(std::to_string(options)).push_back(':');
    key.append(pattern);
    if (auto it = current_.find(key); it != current_.end()) return it->second;
    std::shared_ptr<const CompiledPattern> compiled;
    if (auto it = previous_.find(key); it != previous_.end()) {
      compiled = it->second;
    } else {
      compiled = CompileNew(pattern, options);
    }
    if (current_.size() >= kCacheGeneration) {
      previous_ = std::move(current_);
      current_.clear();
    }
    current_.emplace(std::move(key), compiled);
    return compiled;
  }

 private:
  std::unordered_map<std::string, std::shared_ptr<const CompiledPattern>> current_;
  std::unordered_map<std::string, std::shared_ptr<const CompiledPattern>> previous_;
};

PatternCache& ThreadPatternCache() {
  thread_local PatternCache cache;
  return cache;
}

// What the deadline callout checks during one match.
struct DeadlineCheck {
  std::chrono::steady_clock::time_point deadline;
  uint32_t calls = 0;
};

// Reading the clock at every start position would cost more than matching
// at many of them; every few positions bounds the overrun by a few steps'
// worth of the match limit.
constexpr uint32_t kCalloutsPerClockRead = 8;

int OnDeadlineCallout(pcre2_callout_block*, void* data) {
  auto* check = static_cast<DeadlineCheck*>(data);
  if (++check->calls % kCalloutsPerClockRead != 0) return 0;
  return std::chrono::steady_clock::now() < check->deadline ? 0 : PCRE2_ERROR_CALLOUT;
}

// The limits every match of this thread runs under.
pcre2_match_context* ThreadMatchContext() {
  thread_local std::unique_ptr<pcre2_match_context, MatchContextDeleter> context = [] {
    std::unique_ptr<pcre2_match_context, MatchContextDeleter> c(
        pcre2_match_context_create(nullptr));
    if (c) {
      pcre2_set_match_limit(c.get(), kRegExpMatchLimit);
      pcre2_set_depth_limit(c.get(), kDepthLimit);
      pcre2_set_heap_limit(c.get(), kHeapLimitKib);
    }
    return c;
  }();
  if (!context) throw Error(7, "Out of memory", "RegExp");
  return context.get();
}

// One matcher over one subject: finds successive matches and exposes the
// offsets of the last one.
class Matcher {
 public:
  Matcher(const CompiledPattern& compiled, std::string_view subject)
      : compiled_(compiled),
        subject_(subject),
        data_(pcre2_match_data_create_from_pattern(compiled.code(), nullptr)) {
    if (!data_) throw Error(7, "Out of memory", "RegExp");
  }

  // Searches from byte offset start. Returns false when there is no match;
  // raises when the match exceeds its limits.
  bool Find(size_t start) {
    auto subject = reinterpret_cast<PCRE2_SPTR>(subject_.data());
    uint32_t options = compiled_.jit() ? 0 : PCRE2_NO_JIT;
    pcre2_match_context* context = ThreadMatchContext();
    // Outside a page (or a page without a time limit) the callout is off and
    // costs nothing.
    DeadlineCheck check{CurrentDeadline()};
    bool timed = check.deadline != std::chrono::steady_clock::time_point::max();
    pcre2_set_callout(context, timed ? &OnDeadlineCallout : nullptr, &check);
    if (timed && std::chrono::steady_clock::now() >= check.deadline) RaiseTimeLimit();
    int rc = pcre2_match(compiled_.code(), subject, subject_.size(), start, options,
                         data_.get(), context);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
      // The JIT's small stack ran out before the match limit: the
      // interpreter, bounded by the depth and heap limits, decides.
      rc = pcre2_match(compiled_.code(), subject, subject_.size(), start, PCRE2_NO_JIT,
                       data_.get(), context);
    }
    if (rc == PCRE2_ERROR_NOMATCH) return false;
    if (rc == PCRE2_ERROR_CALLOUT) RaiseTimeLimit();
    if (rc < 0) {
      if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
          rc == PCRE2_ERROR_HEAPLIMIT || rc == PCRE2_ERROR_JIT_STACKLIMIT) {
        throw Error(kErrRegExpLimit,
                    "Regular expression \"" + compiled_.pattern() +
                        "\" exceeded its match limit",
                    "RegExp");
      }
      throw Error(kErrRegExpSyntax,
                  "Regular expression \"" + compiled_.pattern() + "\" failed: " +
                      PcreMessage(rc),
                  "RegExp");
    }
    ovector_ = pcre2_get_ovector_pointer(data_.get());
    // rc == 0 means the ovector was too small; it never is, being sized from
    // the pattern, but then only the pairs it holds are trusted.
    pairs_ = rc == 0 ? pcre2_get_ovector_count(data_.get()) : static_cast<uint32_t>(rc);
    return true;
  }

  [[noreturn]] void RaiseTimeLimit() const {
    throw Error(kErrPageTimeLimit,
                "Regular expression \"" + compiled_.pattern() +
                    "\" was stopped at the page's time limit",
                "RegExp");
  }

  size_t start() const { return ovector_[0]; }
  size_t end() const { return ovector_[1]; }

  // The text of group n of the last match; "" for a group that took no part.
  std::string_view Group(uint32_t n) const {
    if (n >= pairs_) return {};
    PCRE2_SIZE b = ovector_[2 * n], e = ovector_[2 * n + 1];
    if (b == PCRE2_UNSET || e == PCRE2_UNSET || e < b) return {};
    return subject_.substr(b, e - b);
  }

 private:
  const CompiledPattern& compiled_;
  std::string_view subject_;
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> data_;
  PCRE2_SIZE* ovector_ = nullptr;
  uint32_t pairs_ = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Appends the replacement for the matcher's current match.
void AppendExpanded(const Matcher& m, std::string_view subject, std::string_view replacement,
                    uint32_t group_count, RegExp::AppendText data, std::string& out) {
  size_t i = 0;
  while (i < replacement.size()) {
    size_t dollar = replacement.find('$', i);
    if (dollar == std::string_view::npos || dollar + 1 >= replacement.size()) {
      out.append(replacement.substr(i));
      return;
    }
    out.append(replacement.substr(i, dollar - i));
    char c = replacement[dollar + 1];
    i = dollar + 2;
    if (c == '$') {
      out.push_back('$');
    } else if (c == '&') {
      data(m.Group(0), out);
    } else if (c == '`') {
      data(subject.substr(0, m.start()), out);
    } else if (c == '\'') {
      data(subject.substr(m.end()), out);
    } else if (IsDigit(c) && c != '0') {
      // Two digits when they name an existing group, else one digit when it
      // does, else the text stays as written.
      uint32_t one = static_cast<uint32_t>(c - '0');
      if (i < replacement.size() && IsDigit(replacement[i])) {
        uint32_t two = one * 10 + static_cast<uint32_t>(replacement[i] - '0');
        if (two <= group_count) {
          data(m.Group(two), out);
          ++i;
          continue;
        }
      }
      if (one <= group_count) {
        data(m.Group(one), out);
      } else {
        out.append(replacement.substr(dollar, 2));
      }
    } else {
      out.append(replacement.substr(dollar, 2));
    }
  }
}

// The byte offset after the character at offset (a lone invalid byte
// counts as one character).
size_t NextCharacter(std::string_view s, size_t offset) {
  if (offset >= s.size()) return offset + 1;
  unsigned char lead = static_cast<unsigned char>(s[offset]);
  size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  size_t next = offset + 1;
  while (next < s.size() && next < offset + length &&
         (static_cast<unsigned char>(s[next]) & 0xC0) == 0x80)
    ++next;
  return next;
}

}  // namespace

RegExp::RegExp() = default;
RegExp::~RegExp() = default;
RegExp::RegExp(const RegExp&) = default;
RegExp& RegExp::operator=(const RegExp&) = default;
RegExp::RegExp(RegExp&&) noexcept = default;
RegExp& RegExp::operator=(RegExp&&) noexcept = default;

void RegExp::Pattern(std::string_view pattern) {
  pattern_.assign(pattern);
  compiled_.reset();
}

void RegExp::IgnoreCase(bool value) {
  if (value != ignore_case_) compiled_.reset();
  ignore_case_ = value;
}

void RegExp::Global(bool value) { global_ = value; }

void RegExp::Multiline(bool value) {
  if (value != multiline_) compiled_.reset();
  multiline_ = value;
}

const CompiledPattern& RegExp::Compiled() const {
  if (!compiled_) {
    compiled_ = ThreadPatternCache().Get(pattern_, CompileOptions(ignore_case_, multiline_));
  }
  return *compiled_;
}

bool RegExp::Test(std::string_view text) const {
  Matcher m(Compiled(), text);
  return m.Find(0);
}

std::string RegExp::Replace(std::string_view text, std::string_view replacement) const {
  return Replace(text, replacement,
                 [](std::string_view data, std::string& out) { out.append(data); });
}

std::string RegExp::Replace(std::string_view text, std::string_view replacement,
                            AppendText append_data) const {
  const CompiledPattern& compiled = Compiled();
  Matcher m(compiled, text);
  std::string out;
  size_t copied = 0;  // text before this offset is already in out
  size_t from = 0;    // where the next search starts
  while (from <= text.size() && m.Find(from)) {
    if (m.start() < copied || m.end() < m.start()) break;  // only \K can do this
    append_data(text.substr(copied, m.start() - copied), out);
    AppendExpanded(m, text, replacement, compiled.group_count(), append_data, out);
    copied = m.end();
    if (!global_) break;
    // After an empty match the search moves on by one character, so that
    // the same empty match is not found again.
    from = m.end() > m.start() ? m.end() : NextCharacter(text, m.end());
  }
  append_data(text.substr(copied), out);
  return out;
}

}  // namespace fennick::script
