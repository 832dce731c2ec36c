// A parsed expression: a tree of constants, operator chains and calls of
// built-in functions, held in one array and evaluated by walking it.
//
// An Expression never changes after parsing and holds nothing that depends
// on the page or its locale, so one parse may be evaluated any number of
// times, from any thread.
#ifndef FENNICK_PLATFORM_SCRIPT_EXPRESSION_H_
#define FENNICK_PLATFORM_SCRIPT_EXPRESSION_H_

#include <cstdint>
#include <vector>

#include "fennick/variant.h"
#include "platform/script/operators.h"

namespace fennick::script {

struct Builtin;

enum class NodeKind : uint8_t {
  kConstant,  // value
  kMissing,   // an argument left out between commas
  kNegate,    // children[0]
  kNot,       // children[0]
  kChain,     // children[0] ops[0] children[1] ops[1] ... left to right; one
              // precedence level, so & never shares a chain with another op
  kCall,      // builtin(children...)
};

struct Node {
  NodeKind kind = NodeKind::kConstant;
  // Written as a literal (or a named constant) in the expression text.
  bool literal = false;
  Variant value;
  const Builtin* builtin = nullptr;
  std::vector<uint32_t> children;
  std::vector<BinaryOp> ops;
};

class Expression {
 public:
  explicit Expression(std::vector<Node> nodes, uint32_t root)
      : nodes_(std::move(nodes)), root_(root) {}

  // The value of the expression. Raises fennick::Error with the script
  // world's runtime error numbers.
  Variant Evaluate() const { return Eval(root_); }

 private:
  Variant Eval(uint32_t index) const;
  Variant Concatenation(const Node& node) const;
  Variant Call(const Node& node) const;

  std::vector<Node> nodes_;
  uint32_t root_;
};

}  // namespace fennick::script

#endif  // FENNICK_PLATFORM_SCRIPT_EXPRESSION_H_
