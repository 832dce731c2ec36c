// Field: one column of a recordset at its current row.
#include <algorithm>

#include "fennick/data.h"
#include "fennick/error.h"
#include "platform/data/data_state.h"

namespace fennick {
namespace {

const data::Column& ColumnOf(data::RecordsetState* state, size_t index) {
  if (state == nullptr || !state->rows) {
    throw Error(kErrDataObjectClosed, "Operation is not allowed when the object is closed.",
                "Field");
  }
  if (index >= state->rows->columns.size()) {
    throw Error(kErrDataItemNotFound,
                "Item cannot be found in the collection corresponding to the requested name "
                "or ordinal: " +
                    std::to_string(index),
                "Field");
  }
  return state->rows->columns[index];
}

}  // namespace

const std::string& Field::Name() const { return ColumnOf(state_, index_).info().name; }
int32_t Field::Type() const { return ColumnOf(state_, index_).info().type; }
int32_t Field::DefinedSize() const { return ColumnOf(state_, index_).info().defined_size; }
uint8_t Field::Precision() const { return ColumnOf(state_, index_).info().precision; }
uint8_t Field::NumericScale() const { return ColumnOf(state_, index_).info().scale; }
const std::string& Field::BaseTableName() const {
  return ColumnOf(state_, index_).info().base_table;
}

int32_t Field::ActualSize() const {
  const data::Column& column = ColumnOf(state_, index_);
  return column.ActualSize(state_->CurrentRow());
}

Variant Field::Value() const {
  const data::Column& column = ColumnOf(state_, index_);
  size_t row = state_->CurrentRow();
  // Reading a value whole ends a GetChunk sequence.
  state_->chunk_column = SIZE_MAX;
  return column.Value(row);
}

bool Field::IsNull() const {
  const data::Column& column = ColumnOf(state_, index_);
  return column.IsNull(state_->CurrentRow());
}

Variant Field::GetChunk(int32_t length) const {
  const data::Column& column = ColumnOf(state_, index_);
  if (length < 0) {
    throw Error(kErrDataInvalidArgument, "GetChunk needs a length of 0 or more", "Field");
  }
  size_t row = state_->CurrentRow();
  if (state_->chunk_column != index_ || state_->chunk_row != static_cast<int64_t>(row)) {
    state_->chunk_column = index_;
    state_->chunk_row = static_cast<int64_t>(row);
    state_->chunk_offset = 0;
  }
  if (column.IsNull(row)) return Variant::Null();
  std::string text;
  std::string_view bytes;
  if (column.storage() == data::Storage::kBytes) {
    bytes = column.Bytes(row);
  } else {
    column.AppendText(row, text);
    bytes = text;
    if (column.storage() == data::Storage::kVariant) {
      const Variant& v = column.VariantAt(row);
      if (v.IsBinary() || v.IsString()) bytes = v.Bytes();
    }
  }
  if (state_->chunk_offset >= bytes.size()) return Variant::Null();
  std::string_view chunk = bytes.substr(state_->chunk_offset, static_cast<size_t>(length));
  state_->chunk_offset += chunk.size();
  if (data::IsBinaryType(column.info().type)) return Variant::Binary(std::string(chunk));
  return Variant(chunk);
}

}  // namespace fennick
