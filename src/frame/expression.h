// Script expressions in templates: "[exec]" cells are evaluated here.
#ifndef FENNICK_FRAME_EXPRESSION_H_
#define FENNICK_FRAME_EXPRESSION_H_

#include <string>
#include <string_view>

namespace fennick {

// The value of a script expression (trimmed first) as text. A script error
// is raised to the caller as a fennick::Error with its script number.
std::string EvaluateExpression(std::string_view expression);

}  // namespace fennick

#endif  // FENNICK_FRAME_EXPRESSION_H_
