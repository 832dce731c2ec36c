// Page templates: the translation of .asp text and its includes into one
// JavaScript function, with a map from generated lines back to .asp lines.
#include "platform/script/page_template.h"

#include "base/ascii.h"
#include "platform/script/classic_assignment.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>

namespace fennick {
namespace {

constexpr size_t kMaxIncludeDepth = 32;
// The parameter of the page function that receives the page's output.
constexpr std::string_view kWriter = "__fnkw";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Whether `text` at `at` starts with `word`, ignoring case.
bool StartsWithAt(std::string_view text, size_t at, std::string_view word) {
  return at + word.size() <= text.size() && EqualsIgnoreCase(text.substr(at, word.size()), word);
}

// The end ("%>") of the script block whose code starts at `from`, or npos.
// A "%>" inside a string literal or a block comment does not end the block;
// one inside a line comment does, so that `<% x = 1 // note %>` closes where
// it seems to.
size_t FindBlockEnd(std::string_view text, size_t from) {
  size_t i = from;
  const size_t n = text.size();
  while (i < n) {
    char c = text[i];
    if (c == '%' && i + 1 < n && text[i + 1] == '>') return i;
    if (c == '"' || c == '\'') {
      // A string ends at its closing quote; a raw line break ends an
      // unterminated one, which the script compiler then reports.
      ++i;
      while (i < n && text[i] != c && text[i] != '\n') {
        if (text[i] == '\\' && i + 1 < n) ++i;
        ++i;
      }
      if (i < n && text[i] == c) ++i;
      continue;
    }
    if (c == '/' && i + 1 < n && text[i + 1] == '*') {
      size_t close = text.find("*/", i + 2);
      if (close == std::string_view::npos) return std::string_view::npos;
      i = close + 2;
      continue;
    }
    if (c == '/' && i + 1 < n && text[i + 1] == '/') {
      i += 2;
      while (i < n && text[i] != '\n') {
        if (text[i] == '%' && i + 1 < n && text[i + 1] == '>') return i;
        ++i;
      }
      continue;
    }
    ++i;
  }
  return std::string_view::npos;
}

struct IncludeDirective {
  size_t length = 0;  // of the whole "<!-- #include ... -->"
  bool is_virtual = false;
  std::string path;
};

// Parses `<!-- #include file="x" -->` (blanks optional, keywords in any case)
// at `at`; nullopt when the comment there is not an include.
std::optional<IncludeDirective> ParseInclude(std::string_view text, size_t at) {
  size_t i = at + 4;  // past "<!--"
  auto blanks = [&] {
    while (i < text.size() && IsBlank(text[i])) ++i;
  };
  blanks();
  if (!StartsWithAt(text, i, "#include")) return std::nullopt;
  i += 8;
  blanks();
  IncludeDirective inc;
  if (StartsWithAt(text, i, "file")) {
    i += 4;
  } else if (StartsWithAt(text, i, "virtual")) {
    inc.is_virtual = true;
    i += 7;
  } else {
    return std::nullopt;
  }
  blanks();
  if (i >= text.size() || text[i] != '=') return std::nullopt;
  ++i;
  blanks();
  if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return std::nullopt;
  char quote = text[i++];
  size_t close = text.find(quote, i);
  if (close == std::string_view::npos) return std::nullopt;
  inc.path = std::string(text.substr(i, close - i));
  i = close + 1;
  blanks();
  if (!StartsWithAt(text, i, "-->")) return std::nullopt;
  inc.length = i + 3 - at;
  return inc;
}

bool IsUnder(const std::filesystem::path& root, const std::filesystem::path& file) {
  const std::string& r = root.native();
  const std::string& f = file.native();
  return f.size() > r.size() && f.compare(0, r.size(), r) == 0 &&
         (r.back() == '/' || f[r.size()] == '/');
}

std::optional<std::string> ReadWhole(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return std::move(content).str();
}

class Translator {
 public:
  explicit Translator(const std::filesystem::path& root) : root_(root) {}

  TranslateResult Run(const std::filesystem::path& file) {
    TranslateResult result;
    out_ = "function (";
    out_.append(kWriter).append(") {");
    lines_.push_back(SourcePos{0, 1});
    pos_ = SourcePos{0, 1};
    Newline();
    bool ok = TranslateFile(file, std::nullopt);
    Newline();
    out_.append("}");
    result.files = files_;
    if (!ok) {
      result.error = std::move(error_);
      return result;
    }
    PageSource page;
    ClassicRewrite rewritten = RewriteClassicAssignments(out_);
    page.script = std::move(rewritten.code);
    if (rewritten.temporaries > 0) {
      // The keys of compound classic assignments are held in variables of
      // the page function, declared on its first line so no line moves.
      std::string declare = " var ";
      for (uint32_t t = 0; t < rewritten.temporaries; ++t) {
        declare.append(t > 0 ? ", " : "").append(kClassicTemporary).append(std::to_string(t));
      }
      page.script.insert(page.script.find('{') + 1, declare + ";");
    }
    page.lines = std::move(lines_);
    page.files = std::move(files_);
    page.code_page = code_page_;
    page.lcid = lcid_;
    result.page = std::move(page);
    return result;
  }

 private:
  // Adds a file to the list of files read; returns its index.
  uint32_t AddFile(const std::filesystem::path& path, const FileStamp& stamp) {
    for (uint32_t i = 0; i < files_.size(); ++i) {
      if (files_[i].path == path) return i;
    }
    files_.push_back(TemplateFile{path, VirtualPathOf(root_, path), stamp});
    return static_cast<uint32_t>(files_.size() - 1);
  }

  bool Fail(SourcePos at, std::string message) {
    error_.file = files_.empty() ? std::string() : files_[at.file].virtual_path;
    error_.line = at.line;
    error_.message = std::move(message);
    return false;
  }

  // --- emission: every character of the source passes through one of these,
  // so pos_ follows the source line by line.

  void Newline() {
    out_.push_back('\n');
    lines_.push_back(pos_);
  }

  // Script code, copied as it stands.
  void Raw(std::string_view code) {
    for (char c : code) {
      out_.push_back(c);
      if (c == '\n') {
        ++pos_.line;
        lines_.push_back(pos_);
      }
    }
  }

  // Source text that produces no code (directives, include comments).
  void Skip(std::string_view text) {
    for (char c : text) {
      if (c == '\n') ++pos_.line;
    }
  }

  // Literal text, written unchanged: a string literal whose line breaks are
  // escaped and continued on the next script line, so that script lines stay
  // aligned with the page's lines.
  void Literal(std::string_view text) {
    if (text.empty()) return;
    out_.append(kWriter).append("(\"");
    for (size_t i = 0; i < text.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      switch (c) {
        case '\\': out_.append("\\\\"); break;
        case '"': out_.append("\\\""); break;
        case '\r': out_.append("\\r"); break;
        case '\n':
          out_.append("\\n\\\n");
          ++pos_.line;
          lines_.push_back(pos_);
          break;
        case '\t': out_.push_back('\t'); break;
        default:
          if (c < 0x20 || c == 0x7f) {
            static const char kHex[] = "0123456789abcdef";
            out_.append("\\u00");
            out_.push_back(kHex[c >> 4]);
            out_.push_back(kHex[c & 15]);
          } else if (c == 0xE2 && i + 2 < text.size() &&
                     static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                     (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                      static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            // U+2028 and U+2029 end a line inside a script string literal.
            out_.append(static_cast<unsigned char>(text[i + 2]) == 0xA8 ? "\\u2028"
                                                                         : "\\u2029");
            i += 2;
          } else {
            out_.push_back(static_cast<char>(c));
          }
      }
    }
    out_.append("\");");
  }

  // --- the page text

  bool TranslateFile(const std::filesystem::path& file, std::optional<SourcePos> included_at) {
    FileStamp stamp = StampFile(file);
    uint32_t index = AddFile(file, stamp);
    if (included_at) {
      // The included text starts on a script line of its own.
      pos_ = SourcePos{index, 1};
      Newline();
    }
    std::optional<std::string> text = stamp.exists ? ReadWhole(file) : std::nullopt;
    if (!text) {
      if (included_at) {
        return Fail(*included_at,
                    "The include file '" + files_[index].virtual_path + "' cannot be read");
      }
      return Fail(SourcePos{index, 1}, "The page cannot be read");
    }
    stack_.push_back(file);
    bool ok = TranslateText(index, *text);
    stack_.pop_back();
    return ok;
  }

  bool TranslateText(uint32_t index, std::string_view text) {
    size_t i = 0;
    size_t literal_start = 0;
    const size_t n = text.size();
    while (i < n) {
      size_t open = text.find('<', i);
      if (open == std::string_view::npos || open + 1 >= n) break;
      if (text[open + 1] == '%') {
        Literal(text.substr(literal_start, open - literal_start));
        SourcePos block_at = pos_;
        size_t next = 0;
        if (!TranslateBlock(text, open, block_at, next)) return false;
        i = literal_start = next;
        continue;
      }
      if (text.compare(open, 4, "<!--") == 0) {
        std::optional<IncludeDirective> inc = ParseInclude(text, open);
        if (inc) {
          Literal(text.substr(literal_start, open - literal_start));
          SourcePos at = pos_;
          Skip(text.substr(open, inc->length));
          if (!Include(index, *inc, at)) return false;
          i = literal_start = open + inc->length;
          continue;
        }
      }
      i = open + 1;
    }
    Literal(text.substr(literal_start));
    return true;
  }

  // Translates the block starting with "<%" at `open`; `next` receives the
  // index after its "%>".
  bool TranslateBlock(std::string_view text, size_t open, SourcePos at, size_t& next) {
    size_t start = open + 2;
    char kind = start < text.size() ? text[start] : '\0';
    if (kind == '@') {
      size_t close = text.find("%>", start);
      if (close == std::string_view::npos) {
        return Fail(at, "The directive opened here is not closed with %>");
      }
      if (!Directive(text.substr(start + 1, close - start - 1), at)) return false;
      Skip(text.substr(open, close + 2 - open));
      next = close + 2;
      return true;
    }
    if (kind == '=') ++start;
    size_t close = FindBlockEnd(text, start);
    if (close == std::string_view::npos) {
      return Fail(at, "The script block opened here is not closed with %>");
    }
    std::string_view code = text.substr(start, close - start);
    if (kind == '=') {
      out_.append(kWriter).append("(");
      Raw(code);
      // A line comment at the end of the expression would swallow the
      // closing parenthesis.
      if (code.find("//") != std::string_view::npos) Newline();
      out_.append(");");
    } else {
      Raw(code);
      Newline();
    }
    next = close + 2;
    return true;
  }

  // `<%@ Language="JScript" CodePage=65001 %>`: name=value pairs, values
  // quoted or bare.
  bool Directive(std::string_view body, SourcePos at) {
    size_t i = 0;
    while (true) {
      while (i < body.size() && IsBlank(body[i])) ++i;
      if (i >= body.size()) return true;
      size_t name_start = i;
      while (i < body.size() && !IsBlank(body[i]) && body[i] != '=') ++i;
      std::string_view name = body.substr(name_start, i - name_start);
      while (i < body.size() && IsBlank(body[i])) ++i;
      if (i >= body.size() || body[i] != '=') {
        return Fail(at, "The page directive '" + std::string(name) + "' has no value");
      }
      ++i;
      while (i < body.size() && IsBlank(body[i])) ++i;
      std::string_view value;
      if (i < body.size() && (body[i] == '"' || body[i] == '\'')) {
        char quote = body[i++];
        size_t close = body.find(quote, i);
        if (close == std::string_view::npos) {
          return Fail(at, "The value of the page directive '" + std::string(name) +
                              "' is not closed");
        }
        value = body.substr(i, close - i);
        i = close + 1;
      } else {
        size_t value_start = i;
        while (i < body.size() && !IsBlank(body[i])) ++i;
        value = body.substr(value_start, i - value_start);
      }
      if (!DirectiveValue(name, value, at)) return false;
    }
  }

  bool DirectiveValue(std::string_view name, std::string_view value, SourcePos at) {
    if (EqualsIgnoreCase(name, "language")) {
      if (EqualsIgnoreCase(value, "jscript") || EqualsIgnoreCase(value, "javascript") ||
          EqualsIgnoreCase(value, "ecmascript")) {
        return true;
      }
      if (EqualsIgnoreCase(value, "vbscript") || EqualsIgnoreCase(value, "vbs")) {
        return Fail(at, "This page asks for VBScript; Fennick runs script pages written in "
                        "JScript (JavaScript) only. Use <%@ Language=\"JScript\" %>.");
      }
      return Fail(at, "Unknown script language '" + std::string(value) +
                          "'; script pages are written in JScript");
    }
    if (EqualsIgnoreCase(name, "codepage") || EqualsIgnoreCase(name, "lcid")) {
      int32_t number = 0;
      bool digits = !value.empty() && value.size() <= 9;
      for (char c : value) {
        if (c < '0' || c > '9') {
          digits = false;
          break;
        }
        number = number * 10 + (c - '0');
      }
      if (!digits) {
        return Fail(at, "The page directive '" + std::string(name) + "' needs a number, not '" +
                            std::string(value) + "'");
      }
      (EqualsIgnoreCase(name, "codepage") ? code_page_ : lcid_) = number;
      return true;
    }
    // Accepted for pages written for other hosts; nothing here depends on
    // them (sessions are always on, pages never run in a transaction).
    if (EqualsIgnoreCase(name, "enablesessionstate") || EqualsIgnoreCase(name, "transaction")) return true;
    return Fail(at, "Unknown page directive '" + std::string(name) + "'");
  }

  bool Include(uint32_t from, const IncludeDirective& inc, SourcePos at) {
    std::string spec = inc.path;
    for (char& c : spec) {
      if (c == '\\') c = '/';
    }
    std::filesystem::path candidate;
    if (inc.is_virtual) {
      size_t skip = 0;
      while (skip < spec.size() && spec[skip] == '/') ++skip;
      candidate = root_ / spec.substr(skip);
    } else {
      candidate = files_[from].path.parent_path() / spec;
    }
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(candidate, ec);
    if (ec || spec.empty() || !IsUnder(root_, resolved)) {
      return Fail(at, "The include '" + inc.path + "' leaves the site folder");
    }
    std::string first = resolved.lexically_relative(root_).begin()->string();
    if (EqualsIgnoreCase(first, "data")) {
      return Fail(at, "The include '" + inc.path + "' lies in the site's data folder, "
                      "which pages cannot include");
    }
    for (const auto& open : stack_) {
      if (open == resolved) {
        std::string chain;
        for (const auto& f : stack_) chain += VirtualPathOf(root_, f) + " -> ";
        chain += VirtualPathOf(root_, resolved);
        return Fail(at, "Include cycle: " + chain);
      }
    }
    if (stack_.size() >= kMaxIncludeDepth) {
      return Fail(at, "Includes are nested more than " + std::to_string(kMaxIncludeDepth) +
                          " deep");
    }
    SourcePos resume = pos_;
    if (!TranslateFile(resolved, at)) return false;
    pos_ = resume;
    Newline();
    return true;
  }

  std::filesystem::path root_;
  std::string out_;
  std::vector<SourcePos> lines_;
  SourcePos pos_;
  std::vector<TemplateFile> files_;
  std::vector<std::filesystem::path> stack_;  // the include chain being read
  TemplateError error_;
  int32_t code_page_ = 0;
  int32_t lcid_ = 0;
};

}  // namespace

FileStamp StampFile(const std::filesystem::path& file) {
  struct stat st;
  FileStamp stamp;
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return stamp;
  stamp.exists = true;
  stamp.modified_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.size = static_cast<uint64_t>(st.st_size);
  stamp.inode = static_cast<uint64_t>(st.st_ino);
  return stamp;
}

SourcePos PageSource::Map(int64_t generated_line) const {
  if (generated_line < 1 || static_cast<size_t>(generated_line) > lines.size()) {
    return SourcePos{0, 1};
  }
  return lines[static_cast<size_t>(generated_line - 1)];
}

std::string VirtualPathOf(const std::filesystem::path& site_root,
                          const std::filesystem::path& file) {
  std::string rel = file.lexically_relative(site_root).generic_string();
  if (rel.empty() || rel == ".") return "/";
  return "/" + rel;
}

TranslateResult TranslatePage(const std::filesystem::path& site_root,
                              const std::filesystem::path& file) {
  return Translator(site_root).Run(file);
}

}  // namespace fennick
