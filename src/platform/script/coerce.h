// The script world's conversions between Variant types, as the evaluator's
// operators and functions apply them.
//
// These are stricter and more locale-aware than Variant's own lenient
// AsString/AsDouble: a Null where a value is needed raises 94 "Invalid use
// of Null", numbers beyond a type's range raise 6 "Overflow", texts that are
// not numbers raise 13 "Type mismatch". Texts are read as numbers in the
// invariant form first ("1.5", "&H1F", "1E3": what the database and the
// component write) and then in the page's locale ("1,234.50", "$5"), so
// values substituted into expressions keep their meaning in any locale.
// Dates turn into text in the page's locale; numbers in the invariant form.
#ifndef FENNICK_PLATFORM_SCRIPT_COERCE_H_
#define FENNICK_PLATFORM_SCRIPT_COERCE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "fennick/variant.h"

namespace fennick::script {

// The OLE dates of 1 January 100 and 31 December 9999, the range of dates.
inline constexpr double kMinOleDate = -657434.0;
inline constexpr double kMaxOleDate = 2958465.99999999;

// The longest text an expression may build (Space, String, Replace, &, +):
// far beyond any cell, small enough that no expression can exhaust memory.
inline constexpr size_t kMaxTextLength = 1 << 20;
// Raises 7 "Out of memory" for a text longer than kMaxTextLength.
void CheckTextLength(size_t length);
// The text one evaluation may build in all. With it, an expression's work
// is bounded by its length: no short expression can keep the thread busy
// building and rebuilding large texts.
inline constexpr size_t kTextBudget = 16 << 20;
// Counts a text built by the evaluation against kTextBudget (checking its
// length too); raises 7 "Out of memory" when the budget is spent.
void ChargeText(size_t length);
// Starts a new evaluation's budget (per thread).
void ResetTextBudget();

bool ParseScriptNumber(std::string_view text, double& value);

// Whether the value is of a numeric subtype (Boolean and Date included).
bool IsNumericType(VarType type);

// An operand of arithmetic: Empty becomes Integer 0; numbers, Booleans,
// Dates and Null stay; a String becomes a Double (13 when it is not one).
Variant ToNumeric(const Variant& v);
double ToDouble(const Variant& v);
// Banker's rounding into the type's range (6 "Overflow" beyond it).
int32_t ToLong(const Variant& v);
int16_t ToInteger(const Variant& v);
uint8_t ToByte(const Variant& v);
int64_t ToCurrencyRaw(const Variant& v);
// A date from a Date, a number or a date text in the locale.
double ToDate(const Variant& v);
// "True"/"False" texts (any case) and numbers; 13 for other texts.
bool ToBoolean(const Variant& v);
// CStr: 94 for Null, "" for Empty.
std::string ToText(const Variant& v);
// As ToText, but Null writes nothing (the & operator's reading).
void AppendText(const Variant& v, std::string& out);

// Converts between the OLE encoding of dates (negative dates keep a positive
// time fraction) and a continuous day count fit for arithmetic.
double OleToLinear(double ole_date);
double LinearToOle(double days);

// The smallest of Integer, Long, Double holding value.
Variant FitInteger(int64_t value);

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_COERCE_H_
