// The evaluator's operators with the script world's Variant semantics.
//
// Arithmetic: Null in, Null out; Empty counts as 0 (and as "" for +); two
// Strings add by concatenation, a String and a number add as numbers. Integer
// results that leave Integer's range become Long, then Double; Currency, Single
// and Date keep their type where the script world does; a Double beyond its
// range raises 6 "Overflow". / gives a Double; \ and Mod round their operands
// to integers first. x / 0 raises 11 "Division by zero" (0 / 0 raises 6).
//
// Comparison: Null with anything is Null. Numbers compare as numbers, Strings
// byte-wise (case-sensitive). A number and a String: when the number was
// written as a literal the String is read as a number (13 when it is not
// one); when the String was the literal, the number is turned into text;
// otherwise a number is less than any String. Empty compares as 0 with
// numbers and as "" with Strings.
//
// Logic (Not, And, Or, Xor, Eqv, Imp): on Booleans a Boolean, on numbers the
// bitwise operation on their Integer or Long values; Null is an unknown that
// still decides where the other side alone decides (Null And False is False).
#ifndef FENNICK_PLATFORM_SCRIPT_OPERATORS_H_
#define FENNICK_PLATFORM_SCRIPT_OPERATORS_H_

#include <cstdint>

#include "fennick/variant.h"

namespace fennick::script {

enum class BinaryOp : uint8_t {
  kPower, kMultiply, kDivide, kIntDivide, kMod, kAdd, kSubtract, kConcat,
  kEqual, kNotEqual, kLess, kGreater, kLessEqual, kGreaterEqual, kIs,
  kAnd, kOr, kXor, kEqv, kImp,
};

// a_literal / b_literal: whether the operand was written as a literal in the
// expression (it decides number-versus-String comparisons).
Variant ApplyBinary(BinaryOp op, const Variant& a, const Variant& b, bool a_literal = false,
                    bool b_literal = false);
Variant Negate(const Variant& v);
Variant LogicalNot(const Variant& v);

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_OPERATORS_H_
