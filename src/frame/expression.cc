// EvaluateExpression on the script adapter's evaluator.
#include "frame/expression.h"

#include "platform/script/evaluator.h"

namespace fennick {

std::string EvaluateExpression(std::string_view expression) {
  while (!expression.empty() && (expression.front() == ' ' || expression.front() == '\t' ||
                                 expression.front() == '\r' || expression.front() == '\n'))
    expression.remove_prefix(1);
  while (!expression.empty() && (expression.back() == ' ' || expression.back() == '\t' ||
                                 expression.back() == '\r' || expression.back() == '\n'))
    expression.remove_suffix(1);
  return script::EvaluateToText(expression);
}

}  // namespace fennick
