// Cell templates: the text a LinkColumn or ReplaceColumn entry gives a
// cell, built from the row's values.
//
// A template holds placeholders, "{{" + column + "}}" for a value of the
// current row and "{{@" + name + "}}" for a page variable (session, then
// form or query field, then the report designer's carried query string).
// Both are URL-encoded into the text, so neither can add markup, shortcuts
// or further placeholders. Then, in order: the first of "#MONEY#",
// "#PERCENT#", "#NUMBER#" present becomes the cell value in that format;
// "[sql]" makes the cell show its plain value; the markup shortcuts ([br],
// [b], [u], [i], [eval]) become HTML and "[exec]" evaluates the text as a
// script expression; last "#TEMP#" becomes the cell value.
#ifndef FENNICK_GRID_RENDER_TEMPLATE_EXPANSION_H_
#define FENNICK_GRID_RENDER_TEMPLATE_EXPANSION_H_

#include <string>
#include <string_view>
#include <vector>

#include "fennick/variant.h"
#include "grid/grid_object.h"
#include "grid/render/cell_writer.h"

namespace fennick {

// A template with its placeholders resolved against the result's columns,
// once per column rather than per cell. A placeholder naming no column of
// the result ends the resolution: it and the rest stay as written.
struct CellTemplate {
  struct Part {
    enum class Kind { kText, kColumn, kVariable };
    Kind kind = Kind::kText;
    std::string text;  // the literal text, or the variable's name
    size_t column = 0;
  };
  std::vector<Part> parts;
};

CellTemplate CompileTemplate(std::string_view text, const std::vector<GridColumn>& columns);

// Scratch buffers reused from cell to cell.
struct TemplateScratch {
  std::string text;
  std::string swap;
};

// Appends the expanded template for a cell whose value is `value` (with
// text `value_text`, not empty) to out. Raises Error 13 when "#MONEY#",
// "#PERCENT#" or "#NUMBER#" meets a value that is not a number, and the
// evaluator's errors for an "[exec]" expression.
void ExpandTemplate(const CellTemplate& tmpl, const GridObject& g, const RowView& row,
                    const Variant& value, std::string_view value_text,
                    TemplateScratch& scratch, std::string& out);

// Appends text URL-encoded for a template: letters, digits and "-_.!~*'()"
// stay, every other byte becomes %XX (a blank %20 and "+" %2B, so the value
// reads back the same in a path and in a query string).
void AppendTemplateUrlEncoded(std::string_view text, std::string& out);

}  // namespace fennick

#endif  // FENNICK_GRID_RENDER_TEMPLATE_EXPANSION_H_
