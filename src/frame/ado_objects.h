// The late-bound faces of the connection API, for pages: ADODB.Connection
// and ADODB.Recordset, and the Fields collection and Field objects that a
// recordset hands out.
//
//   conn.Open(connectionString), conn.Execute(sql) -> recordset, conn.Close(),
//   conn.ConnectionString, .CommandTimeout, .ConnectionTimeout, .State,
//   .Provider
//   rs.Open(source, connection or connection string), rs.EOF, rs.BOF,
//   rs.MoveNext() (MoveFirst, MoveLast, MovePrevious, Move), rs.RecordCount,
//   rs.Fields.Count, rs.Fields(0).Name, rs.Fields("name").Value, rs("name"),
//   rs.Sort, rs.Filter, rs.GetString(...), rs.Close()
//
// A Field's default member is its Value, so `rs("name")` reads as the value
// where a value is wanted. Fields read the recordset's current row whenever
// they are used. Objects of one page, used on its thread.
#ifndef FENNICK_FRAME_ADO_OBJECTS_H_
#define FENNICK_FRAME_ADO_OBJECTS_H_

#include <memory>
#include <string_view>

#include "fennick/data.h"
#include "fennick/object.h"

namespace fennick {

// Creates ADODB.Connection or ADODB.Recordset (ProgIDs in any case);
// nullptr for any other ProgID.
std::shared_ptr<Object> CreateAdoObject(std::string_view prog_id);

// The connection behind an ADODB.Connection object, shared with it, or
// nullptr when the object is none (a grid given `g.Connection = conn` takes
// it so: DataGrid::Connection wants it shared).
std::shared_ptr<Connection> AdoConnectionOf(Object& object);

}  // namespace fennick

#endif  // FENNICK_FRAME_ADO_OBJECTS_H_
