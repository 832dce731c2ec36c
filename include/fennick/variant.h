// Variant: the one value type that crosses Fennick's boundaries.
//
// A Variant holds Empty, Null, a Boolean, an integer of 8, 16, 32 or 64 bits,
// a Single or Double, a Currency (a 64-bit count of ten-thousandths), a Date
// (an OLE date: days since 1899-12-30, the time of day as the fraction), a
// UTF-8 String, binary bytes, or a reference to a late-bound object. The type
// tags carry the numbers scripts know from VarType.
//
// Conversions here are locale-independent (the invariant forms "1.5",
// "3/5/2004 2:07:09 PM"); locale-aware formatting lives with the formatters.
// Not thread-safe: a Variant belongs to the code holding it.
#ifndef FENNICK_VARIANT_H_
#define FENNICK_VARIANT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

class Object;

enum class VarType : uint16_t {
  kEmpty = 0,
  kNull = 1,
  kInteger = 2,    // 16-bit signed
  kLong = 3,       // 32-bit signed
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kString = 8,
  kObject = 9,
  kError = 10,
  kBoolean = 11,
  kDecimal = 14,   // held as a double
  kByte = 17,
  kLongLong = 20,
  kBinary = 0x2011,  // array of bytes
};

// The civil parts of an OLE date.
struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  double millisecond = 0;
};

// Converts civil parts to an OLE date; out-of-range months and days roll over
// as DateSerial does (month 13 is January of the next year).
double MakeOleDate(const DateParts& parts);
// Splits an OLE date into its civil parts (seconds rounded to the nearest).
DateParts SplitOleDate(double date);
// Day of week of an OLE date, 1 = Sunday .. 7 = Saturday.
int OleWeekday(double date);

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(bool value) : type_(VarType::kBoolean) { num_.i = value ? 1 : 0; }
  Variant(int16_t value) : type_(VarType::kInteger) { num_.i = value; }
  Variant(int32_t value) : type_(VarType::kLong) { num_.i = value; }
  Variant(int64_t value) : type_(VarType::kLongLong) { num_.i = value; }
  Variant(float value) : type_(VarType::kSingle) { num_.d = value; }
  Variant(double value) : type_(VarType::kDouble) { num_.d = value; }
  Variant(std::string value) : type_(VarType::kString), str_(std::move(value)) {}
  Variant(std::string_view value) : type_(VarType::kString), str_(value) {}
  Variant(const char* value) : type_(VarType::kString), str_(value) {}
  Variant(std::shared_ptr<Object> object);

  static Variant Null() { Variant v; v.type_ = VarType::kNull; return v; }
  // The empty object reference: VarType kObject holding no object.
  static Variant Nothing() { Variant v; v.type_ = VarType::kObject; return v; }
  static Variant Byte(uint8_t value);
  // value_times_10000 is the currency amount in ten-thousandths.
  static Variant Currency(int64_t value_times_10000);
  static Variant CurrencyFromDouble(double value);
  static Variant Date(double ole_date);
  static Variant Decimal(double value);
  static Variant Binary(std::string bytes);
  static Variant Binary(const std::vector<uint8_t>& bytes);
  // An error value (VarType 10) carrying an error number.
  static Variant ErrorValue(int32_t number);

  VarType type() const { return type_; }
  bool IsEmpty() const { return type_ == VarType::kEmpty; }
  bool IsNull() const { return type_ == VarType::kNull; }
  bool IsString() const { return type_ == VarType::kString; }
  bool IsObject() const { return type_ == VarType::kObject; }
  bool IsBinary() const { return type_ == VarType::kBinary; }
  // True for the integer, floating, currency and decimal types and Boolean.
  bool IsNumber() const;
  bool IsIntegral() const;

  // Conversions. Empty and Null give false, 0 or ""; a String that does not
  // hold a number raises error 13 "Type mismatch" from the numeric ones.
  bool AsBool() const;
  int64_t AsInt64() const;
  double AsDouble() const;
  // The invariant text of the value: "True", "1.5", "3/5/2004 2:07:09 PM".
  std::string AsString() const;
  // Appends AsString() to out without a temporary for strings and integers.
  void AppendTo(std::string& out) const;
  // The raw bytes of a String or Binary value (empty for other types).
  const std::string& Bytes() const { return str_; }
  // The Date value as an OLE date; strings are not parsed here.
  double AsDate() const { return AsDouble(); }
  int64_t CurrencyRaw() const { return num_.i; }
  const std::shared_ptr<Object>& AsObject() const { return object_; }

  // Same type and value (Empty == Empty, Null == Null).
  bool operator==(const Variant& other) const;

 private:
  VarType type_ = VarType::kEmpty;
  union {
    int64_t i;
    double d;
  } num_{0};
  std::string str_;
  std::shared_ptr<Object> object_;
};

// Formats a double as VBScript's CStr does: up to 15 significant digits,
// no trailing zeros, exponent form beyond that range ("1E+20").
std::string FormatDouble(double value);
// Parses an invariant number ("12", "-1.5", "1e3", "&H1F"); leading and
// trailing blanks allowed. Returns false when text is not a number.
bool ParseNumber(std::string_view text, double& value);
// Writes an OLE date as "m/d/yyyy h:nn:ss AM", dropping the time at midnight
// and the date on day 0, as CStr does in en-US.
std::string FormatOleDateInvariant(double date);

}  // namespace fennick

#endif  // FENNICK_VARIANT_H_
