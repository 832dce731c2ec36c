// The grid's round trip through the browser: the postback script that
// encodes an action into the form, and the hidden state fields the next post
// brings back.
#ifndef FENNICK_GRID_STATE_STATE_FIELDS_H_
#define FENNICK_GRID_STATE_STATE_FIELDS_H_


namespace fennick {

struct GridObject;

// The hidden state fields written after the table, values HTML-encoded.
void WriteStateFields(GridObject& g);
// The postback script written before the grid's form.
extern const char kPostBackScript[];

}  // namespace fennick

#endif  // FENNICK_GRID_STATE_STATE_FIELDS_H_
