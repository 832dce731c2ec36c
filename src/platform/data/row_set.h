// RowSet: the fetched rows of a result, stored column by column.
//
// Each column keeps its values in one flat array of the column's storage
// (64-bit integers, doubles, or one byte arena with end offsets for text
// and binary) plus a null bitmap that exists only once a null arrives, so
// a row costs little more than its raw data. Values that do not fit the
// column's storage (SQLite lets any value into any column) turn that one
// column into a column of Variants. Variants are built only when a value is
// read.
//
// Drivers fill a RowSet through the Append* calls, one value per column and
// then FinishRow; recordsets read it. Not thread-safe.
#ifndef FENNICK_PLATFORM_DATA_ROW_SET_H_
#define FENNICK_PLATFORM_DATA_ROW_SET_H_

#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fennick/data.h"
#include "fennick/variant.h"

namespace fennick::data {

// How a column keeps its values. kPending: only nulls so far, for columns
// whose type is taken from their first value.
enum class Storage : uint8_t { kPending, kInteger, kReal, kBytes, kVariant };

// The storage that suits an ADO type: integers, booleans and currency (in
// ten-thousandths) as integers; floating, decimal and date types as doubles
// (dates as OLE dates); everything else as bytes.
Storage StorageFor(int32_t ado_type);
// Whether values of the type are binary (Variant Binary) rather than text.
bool IsBinaryType(int32_t ado_type);

struct ColumnInfo {
  std::string name;
  int32_t type = kAdVarChar;
  int32_t defined_size = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  std::string base_table;
};

class Column {
 public:
  explicit Column(ColumnInfo info) : info_(std::move(info)) {}

  const ColumnInfo& info() const { return info_; }
  ColumnInfo& mutable_info() { return info_; }
  Storage storage() const { return storage_; }
  size_t size() const { return size_; }

  // Fixes the storage of a pending column; the nulls so far are kept.
  void SetStorage(Storage storage);

  void AppendNull() {
    if (nulls_.size() <= size_ / 64) nulls_.resize(size_ / 64 + 1);
    nulls_[size_ / 64] |= uint64_t{1} << (size_ % 64);
    switch (storage_) {
      case Storage::kInteger:
      case Storage::kReal:
        fixed_.push_back(0);
        break;
      case Storage::kBytes:
        ends_.push_back(bytes_.size());
        break;
      case Storage::kVariant:
        variants_.push_back(Variant::Null());
        break;
      case Storage::kPending:
        break;
    }
    ++size_;
  }
  // The Append calls below require the matching storage.
  void AppendInteger(int64_t value) {
    fixed_.push_back(value);
    ++size_;
  }
  void AppendReal(double value) {
    fixed_.push_back(std::bit_cast<int64_t>(value));
    ++size_;
  }
  void AppendBytes(std::string_view value) {
    bytes_.append(value);
    ends_.push_back(bytes_.size());
    ++size_;
  }
  // Any storage: a value the column's storage cannot hold turns the column
  // into a Variant column first.
  void AppendVariant(Variant value);

  bool IsNull(size_t row) const {
    return row / 64 < nulls_.size() && ((nulls_[row / 64] >> (row % 64)) & 1) != 0;
  }
  int64_t Integer(size_t row) const { return fixed_[row]; }
  double Real(size_t row) const { return std::bit_cast<double>(fixed_[row]); }
  std::string_view Bytes(size_t row) const {
    uint64_t begin = row == 0 ? 0 : ends_[row - 1];
    return std::string_view(bytes_).substr(begin, ends_[row] - begin);
  }
  const Variant& VariantAt(size_t row) const { return variants_[row]; }

  // The value as its field gives it (Null for a null).
  Variant Value(size_t row) const;
  // Appends the invariant text of the value; nothing for a null.
  void AppendText(size_t row, std::string& out) const;
  // Byte length of the value as ActualSize reports it.
  int32_t ActualSize(size_t row) const;
  // Orders two rows of this column: nulls first, text ignoring ASCII case.
  int Compare(size_t a, size_t b) const;

  // Releases the spare capacity left by growing.
  void ShrinkToFit();

 private:
  void ConvertToVariants();

  ColumnInfo info_;
  Storage storage_ = Storage::kPending;
  size_t size_ = 0;
  std::vector<uint64_t> nulls_;    // bit per row; only as long as the last null
  std::vector<int64_t> fixed_;     // kInteger values, kReal values' bits
  std::string bytes_;              // kBytes values, end to end
  std::vector<uint64_t> ends_;     // kBytes: end offset of each value
  std::vector<Variant> variants_;  // kVariant values
};

struct RowSet {
  std::vector<Column> columns;
  size_t row_count = 0;

  void ShrinkToFit() {
    for (Column& c : columns) c.ShrinkToFit();
  }
};

// Orders two Variants for sorting and filtering: Null first, then numbers
// (Booleans, dates and currency by their numeric value), then text ignoring
// ASCII case, then binary bytes.
int CompareVariants(const Variant& a, const Variant& b);
// Compares text ignoring ASCII case (other bytes compare as they are).
int CompareTextIgnoringCase(std::string_view a, std::string_view b);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_ROW_SET_H_
