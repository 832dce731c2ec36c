// Texts of the evaluator's error numbers.
#include "platform/script/script_error.h"

#include <string>

namespace fennick::script {

std::string_view ErrorText(int32_t number) {
  switch (number) {
    case kErrInvalidCall: return "Invalid procedure call or argument";
    case kErrOverflow: return "Overflow";
    case kErrOutOfMemory: return "Out of memory";
    case kErrDivisionByZero: return "Division by zero";
    case kErrTypeMismatch: return "Type mismatch";
    case kErrOutOfStack: return "Out of stack space";
    case kErrObjectNotSet: return "Object variable not set";
    case kErrInvalidNull: return "Invalid use of Null";
    case kErrObjectRequired: return "Object required";
    case kErrWrongArgCount: return "Wrong number of arguments or invalid property assignment";
    case kErrSyntax: return "Syntax error";
    case kErrExpectedParen: return "Expected ')'";
    case kErrInvalidCharacter: return "Invalid character";
    case kErrUnterminatedString: return "Unterminated string constant";
    default: return "Unknown runtime error";
  }
}

void RaiseRuntime(int32_t number, std::string_view name) {
  std::string description(ErrorText(number));
  if (!name.empty()) {
    description.append(": '").append(name).push_back('\'');
  }
  throw Error(number, std::move(description), "VBScript runtime error");
}

void RaiseCompile(int32_t number, size_t column) {
  throw Error(number, std::string(ErrorText(number)),
              "VBScript compilation error at column " + std::to_string(column));
}

}  // namespace fennick::script
