// Filters against a result: binding names to columns and checking literals,
// then evaluating rows with three-valued logic.
#include "fennick/data.h"
#include "base/ascii.h"
#include "fennick/error.h"
#include "platform/data/filter.h"
#include "platform/data/row_set.h"
#include "platform/data/value_text.h"

namespace fennick::data {
namespace {

const char* ClassName(ValueClass c) {
  switch (c) {
    case ValueClass::kNumber:
      return "a number";
    case ValueClass::kDate:
      return "a date";
    case ValueClass::kBoolean:
      return "True or False";
    default:
      return "text";
  }
}

std::string FieldName(const FilterNode& node) {
  return node.table.empty() ? node.column : node.table + "." + node.column;
}

// The literal of a comparison converted for the column's class; false when
// it cannot be.
bool ConvertOperand(FilterNode& node) {
  switch (node.value_class) {
    case ValueClass::kNumber:
      if (node.literal_kind == LiteralKind::kNumber) {
        node.operand = Variant(node.number);
        return true;
      }
      if (node.literal_kind == LiteralKind::kBoolean) {
        node.operand = Variant(node.number != 0 ? -1.0 : 0.0);
        return true;
      }
      if (node.literal_kind == LiteralKind::kString) {
        double value;
        if (!ParseNumber(node.literal, value)) return false;
        node.operand = Variant(value);
        return true;
      }
      return false;
    case ValueClass::kDate:
      if (node.literal_kind == LiteralKind::kDate) {
        node.operand = Variant::Date(node.number);
        return true;
      }
      if (node.literal_kind == LiteralKind::kString) {
        double date;
        if (!ParseDateText(node.literal, date)) return false;
        node.operand = Variant::Date(date);
        return true;
      }
      return false;
    case ValueClass::kBoolean:
      if (node.literal_kind == LiteralKind::kBoolean || node.literal_kind == LiteralKind::kNumber) {
        node.operand = Variant(node.number != 0);
        return true;
      }
      if (node.literal_kind == LiteralKind::kString) {
        Variant text(node.literal);
        try {
          node.operand = Variant(text.AsBool());
        } catch (const Error&) {
          return false;  // neither True/False nor a number
        }
        return true;
      }
      return false;
    case ValueClass::kText:
      node.operand = node.literal_kind == LiteralKind::kBoolean
                         ? Variant(node.number != 0 ? "True" : "False")
                         : Variant(node.literal);
      return true;
    case ValueClass::kBinary:
      return false;
  }
  return false;
}

}  // namespace

ValueClass ClassOfType(int32_t ado_type) {
  switch (ado_type) {
    case kAdSmallInt:
    case kAdInteger:
    case kAdBigInt:
    case kAdTinyInt:
    case kAdUnsignedTinyInt:
    case kAdSingle:
    case kAdDouble:
    case kAdCurrency:
    case kAdNumeric:
    case kAdDecimal:
      return ValueClass::kNumber;
    case kAdDate:
    case kAdDBDate:
    case kAdDBTime:
    case kAdDBTimeStamp:
      return ValueClass::kDate;
    case kAdBoolean:
      return ValueClass::kBoolean;
    case kAdBinary:
    case kAdVarBinary:
    case kAdLongVarBinary:
      return ValueClass::kBinary;
    default:
      return ValueClass::kText;
  }
}

FilterResult FilterExpression::Bind(std::span<const FilterColumn> columns) {
  for (FilterNode& node : nodes_) {
    if (node.kind != FilterNode::Kind::kCondition) continue;
    int32_t found = -1;
    for (size_t i = 0; i < columns.size(); ++i) {
      if (!EqualsIgnoreCase(columns[i].name, node.column)) continue;
      if (!node.table.empty() && !columns[i].table.empty() &&
          !EqualsIgnoreCase(columns[i].table, node.table)) {
        continue;
      }
      // A column whose table is confirmed wins over one whose table is unknown.
      if (found < 0 || (!node.table.empty() && !columns[i].table.empty())) {
        found = static_cast<int32_t>(i);
      }
    }
    if (found < 0) {
      return {"unknown field " + FieldName(node), node.offset};
    }
    node.column_index = found;
    node.value_class = columns[found].value_class;
    switch (node.op) {
      case FilterOp::kIsNull:
      case FilterOp::kIsNotNull:
        continue;
      case FilterOp::kLike:
      case FilterOp::kNotLike:
        if (node.value_class == ValueClass::kBinary) {
          return {"the binary field " + FieldName(node) + " only takes IS NULL", node.offset};
        }
        node.operand = Variant(node.literal);
        continue;
      default:
        break;
    }
    if (node.value_class == ValueClass::kBinary) {
      return {"the binary field " + FieldName(node) + " only takes IS NULL", node.offset};
    }
    if (!ConvertOperand(node)) {
      return {
          "the field " + FieldName(node) + " is compared with " + ClassName(node.value_class) +
              ", not with " +
              (node.literal_kind == LiteralKind::kString ? "'" + node.literal + "'" : node.literal),
          node.offset};
    }
  }
  return {};
}

bool FilterExpression::Matches(const FilterRow& row) const {
  return nodes_.empty() || Evaluate(root_, row) == Truth::kTrue;
}

FilterExpression::Truth FilterExpression::Evaluate(uint32_t index, const FilterRow& row) const {
  const FilterNode& node = nodes_[index];
  switch (node.kind) {
    case FilterNode::Kind::kAnd: {
      Truth left = Evaluate(node.left, row);
      if (left == Truth::kFalse) return Truth::kFalse;
      Truth right = Evaluate(node.right, row);
      if (right == Truth::kFalse) return Truth::kFalse;
      return left == Truth::kTrue && right == Truth::kTrue ? Truth::kTrue : Truth::kUnknown;
    }
    case FilterNode::Kind::kOr: {
      Truth left = Evaluate(node.left, row);
      if (left == Truth::kTrue) return Truth::kTrue;
      Truth right = Evaluate(node.right, row);
      if (right == Truth::kTrue) return Truth::kTrue;
      return left == Truth::kFalse && right == Truth::kFalse ? Truth::kFalse : Truth::kUnknown;
    }
    case FilterNode::Kind::kNot: {
      Truth inner = Evaluate(node.left, row);
      if (inner == Truth::kUnknown) return inner;
      return inner == Truth::kTrue ? Truth::kFalse : Truth::kTrue;
    }
    case FilterNode::Kind::kCondition:
      break;
  }
  auto truth = [](bool b) { return b ? Truth::kTrue : Truth::kFalse; };
  Variant value = row.Value(static_cast<size_t>(node.column_index));
  if (node.op == FilterOp::kIsNull) return truth(value.IsNull());
  if (node.op == FilterOp::kIsNotNull) return truth(!value.IsNull());
  if (value.IsNull() || value.IsEmpty()) return Truth::kUnknown;
  if (node.op == FilterOp::kLike || node.op == FilterOp::kNotLike) {
    bool like = MatchesLike(value.AsString(), node.literal);
    return truth(node.op == FilterOp::kLike ? like : !like);
  }

  int cmp;
  bool numeric_value = value.IsNumber() || value.type() == VarType::kDate;
  switch (node.value_class) {
    case ValueClass::kNumber:
    case ValueClass::kDate:
      if (numeric_value) {
        cmp = CompareDoubles(value.AsDouble(), node.operand.AsDouble());
        break;
      }
      // A value the column's type did not foresee (SQLite stores anything
      // anywhere): compare the texts.
      cmp = CompareIgnoreCase(value.AsString(), node.operand.AsString());
      break;
    case ValueClass::kBoolean:
      if (!numeric_value) {
        cmp = CompareIgnoreCase(value.AsString(), node.operand.AsString());
        break;
      }
      cmp = static_cast<int>(value.AsBool()) - static_cast<int>(node.operand.AsBool());
      break;
    default: {
      std::string text = value.AsString();
      cmp = CompareIgnoreCase(text, node.operand.Bytes());
      break;
    }
  }
  switch (node.op) {
    case FilterOp::kEqual:
      return truth(cmp == 0);
    case FilterOp::kNotEqual:
      return truth(cmp != 0);
    case FilterOp::kLess:
      return truth(cmp < 0);
    case FilterOp::kGreater:
      return truth(cmp > 0);
    case FilterOp::kLessEqual:
      return truth(cmp <= 0);
    case FilterOp::kGreaterEqual:
      return truth(cmp >= 0);
    default:
      return Truth::kUnknown;
  }
}

bool MatchesLike(std::string_view text, std::string_view pattern) {
  // Greedy matching with one backtrack point: the last wildcard seen.
  size_t t = 0, p = 0;
  size_t star_p = std::string_view::npos, star_t = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '%' || pattern[p] == '*')) {
      star_p = p++;
      star_t = t;
    } else if (p < pattern.size() && AsciiLowerChar(pattern[p]) == AsciiLowerChar(text[t])) {
      ++p;
      ++t;
    } else if (star_p != std::string_view::npos) {
      p = star_p + 1;
      t = ++star_t;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == '%' || pattern[p] == '*')) ++p;
  return p == pattern.size();
}

}  // namespace fennick::data
