// Column storage: building Variants from stored values and ordering rows.
#include "platform/data/row_set.h"

#include "base/ascii.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace fennick::data {
namespace {

Variant IntegerValue(int32_t type, int64_t v) {
  switch (type) {
    case kAdBoolean:
      return Variant(v != 0);
    case kAdCurrency:
      return Variant::Currency(v);
    case kAdSmallInt:
    case kAdTinyInt:
      if (v >= INT16_MIN && v <= INT16_MAX) return Variant(static_cast<int16_t>(v));
      break;
    case kAdUnsignedTinyInt:
      if (v >= 0 && v <= 255) return Variant::Byte(static_cast<uint8_t>(v));
      break;
    case kAdInteger:
      // SQLite's INTEGER holds 64 bits: values beyond a Long stay 64-bit.
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant(static_cast<int32_t>(v));
      break;
    default:
      break;
  }
  return Variant(v);
}

Variant RealValue(int32_t type, double v) {
  switch (type) {
    case kAdSingle:
      return Variant(static_cast<float>(v));
    case kAdDate:
    case kAdDBDate:
    case kAdDBTime:
    case kAdDBTimeStamp:
      return Variant::Date(v);
    case kAdNumeric:
    case kAdDecimal:
      return Variant::Decimal(v);
    default:
      return Variant(v);
  }
}

int CompareBytes(std::string_view a, std::string_view b) {
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Rank of a Variant's kind in the cross-kind order.
int KindRank(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return 0;
  if (v.IsNumber() || v.type() == VarType::kDate) return 1;
  if (v.IsString()) return 2;
  return 3;
}

}  // namespace

Storage StorageFor(int32_t ado_type) {
  switch (ado_type) {
    case kAdSmallInt:
    case kAdInteger:
    case kAdBigInt:
    case kAdTinyInt:
    case kAdUnsignedTinyInt:
    case kAdBoolean:
    case kAdCurrency:
      return Storage::kInteger;
    case kAdSingle:
    case kAdDouble:
    case kAdNumeric:
    case kAdDecimal:
    case kAdDate:
    case kAdDBDate:
    case kAdDBTime:
    case kAdDBTimeStamp:
      return Storage::kReal;
    default:
      return Storage::kBytes;
  }
}

bool IsBinaryType(int32_t ado_type) {
  return ado_type == kAdBinary || ado_type == kAdVarBinary || ado_type == kAdLongVarBinary;
}

void Column::SetStorage(Storage storage) {
  storage_ = storage;
  switch (storage) {
    case Storage::kInteger:
    case Storage::kReal:
      for (size_t i = 0; i < size_; ++i) cells_.Append(0);
      break;
    case Storage::kBytes:
      for (size_t i = 0; i < size_; ++i) bytes_.Append({});
      break;
    case Storage::kVariant:
      variants_.assign(size_, Variant::Null());
      break;
    case Storage::kPending:
      break;
  }
}

void Column::AppendVariant(Variant value) {
  if (value.IsNull() || value.IsEmpty()) {
    AppendNull();
    return;
  }
  if (storage_ != Storage::kVariant) ConvertToVariants();
  variants_.push_back(std::move(value));
  ++size_;
}

Column Column::Reversed() const {
  Column out(info_);
  out.SetStorage(storage_);
  for (size_t row = size_; row-- > 0;) {
    if (IsNull(row)) {
      out.AppendNull();
      continue;
    }
    switch (storage_) {
      case Storage::kInteger: out.AppendInteger(cells_[row]); break;
      case Storage::kReal: out.AppendReal(Real(row)); break;
      case Storage::kBytes: out.AppendBytes(bytes_[row]); break;
      case Storage::kVariant: out.AppendVariant(variants_[row]); break;
      case Storage::kPending: out.AppendNull(); break;
    }
  }
  out.Trim();
  return out;
}

void Column::ConvertToVariants() {
  std::vector<Variant> values;
  values.reserve(size_ + 1);
  for (size_t row = 0; row < size_; ++row) values.push_back(Value(row));
  cells_.Clear();
  bytes_.Clear();
  variants_ = std::move(values);
  storage_ = Storage::kVariant;
}

Variant Column::Value(size_t row) const {
  if (IsNull(row)) return Variant::Null();
  switch (storage_) {
    case Storage::kInteger:
      return IntegerValue(info_.type, cells_[row]);
    case Storage::kReal:
      return RealValue(info_.type, Real(row));
    case Storage::kBytes:
      if (IsBinaryType(info_.type)) return Variant::Binary(std::string(Bytes(row)));
      return Variant(Bytes(row));
    case Storage::kVariant:
      return variants_[row];
    case Storage::kPending:
      break;
  }
  return Variant::Null();
}

void Column::AppendText(size_t row, std::string& out) const {
  if (IsNull(row)) return;
  switch (storage_) {
    case Storage::kBytes:
      out.append(Bytes(row));
      return;
    case Storage::kInteger:
      if (info_.type != kAdBoolean && info_.type != kAdCurrency) {
        char buf[24];
        auto res = std::to_chars(buf, buf + sizeof buf, cells_[row]);
        out.append(buf, res.ptr);
        return;
      }
      break;
    default:
      break;
  }
  Value(row).AppendTo(out);
}

int32_t Column::ActualSize(size_t row) const {
  if (IsNull(row)) return 0;
  switch (storage_) {
    case Storage::kBytes:
      return static_cast<int32_t>(std::min<size_t>(Bytes(row).size(), INT32_MAX));
    case Storage::kVariant: {
      const Variant& v = variants_[row];
      if (v.IsString() || v.IsBinary()) {
        return static_cast<int32_t>(std::min<size_t>(v.Bytes().size(), INT32_MAX));
      }
      return info_.defined_size;
    }
    default:
      return info_.defined_size;
  }
}

int Column::Compare(size_t a, size_t b) const {
  bool null_a = IsNull(a), null_b = IsNull(b);
  if (null_a || null_b) return null_a == null_b ? 0 : (null_a ? -1 : 1);
  switch (storage_) {
    case Storage::kInteger:
      return cells_[a] < cells_[b] ? -1 : (cells_[a] > cells_[b] ? 1 : 0);
    case Storage::kReal:
      return CompareDoubles(Real(a), Real(b));
    case Storage::kBytes:
      if (IsBinaryType(info_.type)) return CompareBytes(Bytes(a), Bytes(b));
      return CompareIgnoreCase(Bytes(a), Bytes(b));
    case Storage::kVariant:
      return CompareVariants(variants_[a], variants_[b]);
    case Storage::kPending:
      break;
  }
  return 0;
}

void Column::Trim() {
  nulls_.shrink_to_fit();
  cells_.Trim();
  bytes_.Trim();
  variants_.shrink_to_fit();
}

int CompareVariants(const Variant& a, const Variant& b) {
  int rank_a = KindRank(a), rank_b = KindRank(b);
  if (rank_a != rank_b) return rank_a < rank_b ? -1 : 1;
  switch (rank_a) {
    case 1:
      if (a.IsIntegral() && b.IsIntegral() && a.type() != VarType::kBoolean &&
          b.type() != VarType::kBoolean) {
        int64_t x = a.AsInt64(), y = b.AsInt64();
        return x < y ? -1 : (x > y ? 1 : 0);
      }
      return CompareDoubles(a.AsDouble(), b.AsDouble());
    case 2:
      return CompareIgnoreCase(a.Bytes(), b.Bytes());
    case 3:
      return CompareBytes(a.Bytes(), b.Bytes());
    default:
      return 0;
  }
}

}  // namespace fennick::data
