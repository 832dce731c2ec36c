// Report definitions: the one string that holds everything a stored report
// is made of, and the field schema inside it.
//
// A definition is a run of segments ";key:value" ending with ";", kept in
// the reports file in the component's Base64 form. The reader finds each key
// on its own (the order does not matter to it, and a bad value for one key
// never stops the others); the writer emits every key in a fixed order.
// Values are not escaped: a ";" ends a value. So the writer turns ";" in any
// text value into "," before it is stored (a title could otherwise cut the
// definition or smuggle in a later key such as ";rpwd:"), and captions and
// formats lose their "~" (it separates schema entries). The reader takes
// stored definitions exactly as written, so older files read as before.
//
// Everything here is plain value code: no page, no file, thread-compatible.
#ifndef FENNICK_DESIGNER_REPORT_DEFINITION_H_
#define FENNICK_DESIGNER_REPORT_DEFINITION_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace fennick::designer {

// The report state a definition fills. Texts are kept as read; numbers are
// 16-bit as pages have always known them. The defaults are the values of a
// designer that has parsed nothing yet; a number key that is empty or not a
// number leaves its member as it was.
struct ReportDefinition {
  std::string tables;     // table or view names, or the procedure name
  std::string fields;     // selected fields, ", "-separated
  std::string filters;    // field__code__value entries, ","-separated
  std::string relations;  // join conditions as SQL text
  std::string schema;     // the field schema (see SchemaValue)
  int16_t dbt = 0;        // database type code of the report's connection
  std::string rtitle;
  std::string rdesc;   // "_Q_" stands for a double quote inside the builder
  std::string rgroup;  // report group id
  std::string rid;     // report id
  std::string summary;  // field__TYPE__caption entries, ","-separated
  std::string rpwd;     // report password (designer/report_password.h); stays on the server
  int16_t pagesize = 0;
  int16_t rfmt = 0;    // 1 tabular, 2 columnar
  int16_t sonly = 0;   // 1 summary and report, 2 summary only
  int16_t grpby = 0;   // 1 grouped (summary) report
  int16_t join = 0;    // 2 OR, anything else AND
  int16_t distinct = 0;
  int16_t rtype = 0;  // 1 basic, 2 master-details
  std::string mtbl;   // master table
  int16_t shwsrch = 0;
  int16_t sortdef = 0;
  std::string reqparam;  // caption of the required-parameters form
  int16_t rownum = 1;
  int16_t coltotal = 0;
  int16_t colavg = 0;
  int16_t rowtotal = 0;
  int16_t rowavg = 0;
  int16_t isproc = 0;
  std::string gflds;   // graph fields
  std::string params;  // stored-procedure parameter text
  int16_t chart = 0;
  int16_t graph = 0;  // 1 basic, 2 stacked, 3 relative
  int16_t conly = 0;  // 1 graph and report, 2 graph only
  std::string legend;
  std::string gtitle;
  std::string xlabel;
  std::string ylabel;
  int16_t count = 0;
  std::string sum;
  std::string avg;
  std::string min;
  std::string max;
  std::string stdev;
  std::string var;
  std::string nftotal;
  std::string nfavg;
  std::string agcaps;  // "&" alias "=" caption, repeated
  int16_t distsrchtxt = 0;

  bool operator==(const ReportDefinition&) const = default;
};

// The value of `key` in a plain (decoded) definition: the text after the
// first ";" + key + ":" (exact case) up to the next ";"; "" when the key is
// missing. A definition that does not start with ";" is read as if it did,
// so "avg" never matches inside "colavg".
std::string GetDefinitionValue(std::string_view definition, std::string_view key);

// Reads every key of a plain definition into `report`. Text keys take their
// value (empty when missing); number keys follow their reading rule: most
// keep the member when the value is empty or not a 16-bit number; shwsrch,
// coltotal, colavg, rowtotal, rowavg, isproc and distsrchtxt take the value
// of their leading digits (0 when none); sortdef gives 0 and rownum 1 for a
// value that is no number. Never fails.
void ReadDefinition(std::string_view definition, ReportDefinition& report);

// The plain definition of `report`, every key in writing order, ending with
// ";". Text values have ";" turned into ","; see the file comment.
std::string WriteDefinition(const ReportDefinition& report);

// The stored form: the component's Base64 (blank padding). DecodeDefinition
// also accepts "=" padding and line breaks; text that is no Base64 gives "".
std::string EncodeDefinition(std::string_view plain);
std::string DecodeDefinition(std::string_view encoded);

// A text value made safe to store: ";" becomes ",". Captions and formats
// (SchemaText) also lose "~", which becomes "-".
std::string DefinitionText(std::string_view text);
std::string SchemaText(std::string_view text);

// The description as the reports file keeps it: "_Q_" becomes a double
// quote.
std::string StoredDescription(std::string_view rdesc);

// --- The field schema ---------------------------------------------------
//
// One entry per field: "," name "~c" caption "~f" format "~t" category "~".
// A schema without "~f" anywhere is in the older colon form, where an
// attribute is ":" code value ":". Lookups find the entry by
// "," + name + "~" ignoring case; the attribute is then searched from the
// entry onwards (an entry lacking the code picks up the next entry's, as
// stored reports have always read).

// Attribute `code` of field `name`; `fallback` when the schema is empty, ""
// when the field or code is missing. A name with a table prefix that has no
// entry of its own is looked up without the prefix.
std::string SchemaValue(std::string_view schema, std::string_view name, std::string_view code,
                        std::string_view fallback);

// Attribute `code` of field `name` as the report's own routines read it:
// when there is no entry "," + name + "~", the first entry whose name is
// the bare name (without table prefix), alone or after a table prefix,
// ignoring case. Only whole names match: "Id" never finds "OrderId".
std::string ReportSchemaValue(std::string_view schema, std::string_view name,
                              std::string_view code);

// Sets attribute `code` of field `name` to `value` (made safe with
// SchemaText). The entry is found case-sensitively, then by the bare name
// as ReportSchemaValue finds it; a field without an entry, or an entry without the code,
// leaves the schema unchanged.
void ReplaceSchemaValue(std::string& schema, std::string_view name, std::string_view code,
                        std::string_view value);

// One entry of the "~" form, caption and format made safe.
std::string SchemaEntry(std::string_view name, std::string_view caption, std::string_view format,
                        std::string_view category);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_REPORT_DEFINITION_H_
