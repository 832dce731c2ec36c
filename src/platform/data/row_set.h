// RowSet: the fetched rows of a result, stored column by column.
//
// Each column keeps its values in one array of the column's storage
// (64-bit integers, doubles, or a byte arena for text and binary, both in
// blocks: block_store.h) plus a null bitmap that exists only once a null
// arrives, so a row costs little more than its raw data. Values that do not fit the
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
#include "platform/data/block_store.h"

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
        cells_.Append(0);
        break;
      case Storage::kBytes:
        bytes_.Append({});
        break;
      case Storage::kVariant:
        variants_.push_back(Variant::Null());
        break;
      case Storage::kPending:
        break;
    }
    ++size_;
  }
  // Values for the column's storage; given to a column of another storage
  // (one that has turned into Variants, say) they are kept as Variants.
  void AppendInteger(int64_t value) {
    if (storage_ != Storage::kInteger) [[unlikely]]
      return AppendVariant(Variant(value));
    cells_.Append(value);
    ++size_;
  }
  void AppendReal(double value) {
    if (storage_ != Storage::kReal) [[unlikely]]
      return AppendVariant(Variant(value));
    cells_.Append(std::bit_cast<int64_t>(value));
    ++size_;
  }
  void AppendBytes(std::string_view value) {
    if (storage_ != Storage::kBytes) [[unlikely]]
      return AppendVariant(IsBinaryType(info_.type) ? Variant::Binary(std::string(value))
                                                    : Variant(value));
    bytes_.Append(value);
    ++size_;
  }
  // Any storage: a value the column's storage cannot hold turns the column
  // into a Variant column first.
  void AppendVariant(Variant value);

  bool IsNull(size_t row) const {
    return row / 64 < nulls_.size() && ((nulls_[row / 64] >> (row % 64)) & 1) != 0;
  }
  int64_t Integer(size_t row) const { return cells_[row]; }
  double Real(size_t row) const { return std::bit_cast<double>(cells_[row]); }
  std::string_view Bytes(size_t row) const { return bytes_[row]; }
  const Variant& VariantAt(size_t row) const { return variants_[row]; }

  // The value as its field gives it (Null for a null).
  Variant Value(size_t row) const;
  // Appends the invariant text of the value; nothing for a null.
  void AppendText(size_t row, std::string& out) const;
  // Byte length of the value as ActualSize reports it.
  int32_t ActualSize(size_t row) const;
  // Orders two rows of this column: nulls first, text ignoring ASCII case.
  int Compare(size_t a, size_t b) const;

  // Gives back what a finished column does not need (see CellArray::Trim).
  void Trim();
  // The same column with its rows in the opposite order.
  Column Reversed() const;

 private:
  void ConvertToVariants();

  ColumnInfo info_;
  Storage storage_ = Storage::kPending;
  size_t size_ = 0;
  std::vector<uint64_t> nulls_;    // bit per row; only as long as the last null
  CellArray cells_;                // kInteger values, kReal values' bits
  ByteArena bytes_;                // kBytes values
  std::vector<Variant> variants_;  // kVariant values
};

struct RowSet {
  std::vector<Column> columns;
  size_t row_count = 0;

  // Called once all rows are in.
  void Trim() {
    for (Column& c : columns) c.Trim();
  }
};

inline int CompareDoubles(double x, double y) { return x < y ? -1 : (x > y ? 1 : 0); }
// Orders two Variants for sorting and filtering: Null first, then numbers
// (Booleans, dates and currency by their numeric value), then text ignoring
// ASCII case, then binary bytes.
int CompareVariants(const Variant& a, const Variant& b);

}  // namespace fennick::data

#endif  // FENNICK_PLATFORM_DATA_ROW_SET_H_
