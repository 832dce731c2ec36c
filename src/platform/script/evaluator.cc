// The evaluator's entry points and its per-thread cache of parsed
// expressions.
#include "platform/script/evaluator.h"

#include <memory>
#include <string>
#include <unordered_map>

#include "fennick/page.h"
#include "platform/script/coerce.h"
#include "platform/script/expression.h"
#include "platform/script/parser.h"
#include "platform/script/script_error.h"

namespace fennick::script {
namespace {

// Entries per cache generation, and the longest text worth caching: longer
// texts are parsed each time so that the cache stays small.
constexpr size_t kCacheGeneration = 512;
constexpr size_t kMaxCachedLength = 2048;

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

using ExpressionMap =
    std::unordered_map<std::string, std::shared_ptr<const Expression>, TextHash, std::equal_to<>>;

// Parsed expressions of this thread. Two generations bound it: when the
// current one fills, it becomes the previous one and the older is dropped;
// a hit in the previous generation is carried forward. Parsed expressions
// hold nothing of a page, so keeping them across pages leaks nothing.
class ExpressionCache {
 public:
  std::shared_ptr<const Expression> Get(std::string_view text) {
    if (auto it = current_.find(text); it != current_.end()) return it->second;
    std::shared_ptr<const Expression> parsed;
    if (auto it = previous_.find(text); it != previous_.end()) {
      parsed = it->second;
    } else {
      parsed = ParseExpression(text);
    }
    if (current_.size() >= kCacheGeneration) {
      previous_ = std::move(current_);
      current_.clear();
    }
    current_.emplace(std::string(text), parsed);
    return parsed;
  }

 private:
  ExpressionMap current_;
  ExpressionMap previous_;
};

std::shared_ptr<const Expression> Parsed(std::string_view expression) {
  if (expression.size() > kMaxExpressionLength) RaiseRuntime(kErrOutOfMemory);
  if (expression.size() > kMaxCachedLength) return ParseExpression(expression);
  thread_local ExpressionCache cache;
  return cache.Get(expression);
}

}  // namespace

Variant Evaluate(std::string_view expression) {
  // Grids evaluate cell templates from native loops the script engine's stop
  // check never sees; one evaluation is bounded (length, text budget), so
  // checking before each one stops the loop at the page's deadline.
  CheckPageDeadline("Expression");
  std::shared_ptr<const Expression> parsed = Parsed(expression);
  ResetTextBudget();
  return parsed->Evaluate();
}

std::string EvaluateToText(std::string_view expression) {
  return ValueToText(Evaluate(expression));
}

std::string ValueToText(const Variant& value) {
  if (value.IsNull()) return std::string();
  return ToText(value);
}

}  // namespace fennick::script
