// Evaluation of a parsed expression.
#include "platform/script/expression.h"

#include <array>

#include "platform/script/builtins.h"
#include "platform/script/coerce.h"

namespace fennick::script {

Variant Expression::Eval(uint32_t index) const {
  const Node& node = nodes_[index];
  switch (node.kind) {
    case NodeKind::kConstant:
      return node.value;
    case NodeKind::kMissing:
      return Variant::ErrorValue(kMissingArgument);
    case NodeKind::kNegate:
      return Negate(Eval(node.children[0]));
    case NodeKind::kNot:
      return LogicalNot(Eval(node.children[0]));
    case NodeKind::kChain: {
      if (node.ops[0] == BinaryOp::kConcat) return Concatenation(node);
      // Every operand is evaluated, left to right: the script world has no
      // short-circuit operators.
      Variant acc = Eval(node.children[0]);
      bool acc_literal = nodes_[node.children[0]].literal;
      for (size_t i = 0; i < node.ops.size(); ++i) {
        uint32_t right = node.children[i + 1];
        Variant value = Eval(right);
        acc = ApplyBinary(node.ops[i], acc, value, acc_literal, nodes_[right].literal);
        acc_literal = false;
      }
      return acc;
    }
    case NodeKind::kCall:
      return Call(node);
  }
  return Variant();
}

// a & b & c ... appended into one text, so that a long chain costs its
// length once rather than once per step. The result is Null only when every
// operand is Null, as the pairwise operator gives.
Variant Expression::Concatenation(const Node& node) const {
  std::string out;
  bool all_null = true;
  for (uint32_t child : node.children) {
    Variant value = Eval(child);
    if (!value.IsNull()) all_null = false;
    AppendText(value, out);
    CheckTextLength(out.size());
  }
  if (all_null) return Variant::Null();
  ChargeText(out.size());
  return Variant(std::move(out));
}

Variant Expression::Call(const Node& node) const {
  std::array<Variant, kMaxBuiltinArgs> args;
  const size_t count = node.children.size();
  for (size_t i = 0; i < count; ++i) args[i] = Eval(node.children[i]);
  return node.builtin->function(Arguments(args.data(), count));
}

}  // namespace fennick::script
