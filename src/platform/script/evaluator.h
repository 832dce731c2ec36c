// The expression evaluator: the value of a VBScript expression, as cell
// templates ("[exec]") and pages write them.
//
// An expression is read by a real parser (see parser.h for the grammar) and
// evaluated with the script world's Variant semantics (operators.h) and
// built-in functions: strings, conversions, math, dates, locale-aware
// formatting and tests on values. Evaluation has no side effects at all: no
// objects are created, no files or variables touched, since cell values
// flow into expressions. Expressions longer than kMaxExpressionLength or
// nested deeper than 256 levels are refused.
//
// Thread-safe. Parsed expressions are cached per thread by their text
// (bounded), so a grid evaluating the same template text per cell parses it
// once; what the cache holds does not depend on the page or its locale.
#ifndef FENNICK_PLATFORM_SCRIPT_EVALUATOR_H_
#define FENNICK_PLATFORM_SCRIPT_EVALUATOR_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "fennick/variant.h"

namespace fennick::script {

inline constexpr size_t kMaxExpressionLength = 64 * 1024;

// The value of the expression. Raises fennick::Error with the script
// world's numbers and texts: compilation errors (1002 "Syntax error", 1006
// "Expected ')'", 1032 "Invalid character", 1033 "Unterminated string
// constant") and runtime errors (5 "Invalid procedure call or argument", 6
// "Overflow", 11 "Division by zero", 13 "Type mismatch", 94 "Invalid use of
// Null", 450 "Wrong number of arguments or invalid property assignment");
// 7 "Out of memory" for an expression over kMaxExpressionLength or a text
// result over 1 MiB, 28 "Out of stack space" for nesting deeper than 256;
// kErrPageTimeLimit when the page bound to the thread is past its deadline.
Variant Evaluate(std::string_view expression);

// The value of the expression as text, as CStr writes it (dates in the
// page's locale, numbers in the invariant form); Null and Empty give "".
// Raises as Evaluate does.
std::string EvaluateToText(std::string_view expression);

// A value as EvaluateToText writes it.
std::string ValueToText(const Variant& value);

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_EVALUATOR_H_
