// Recordset behaviour on fetched rows: the cursor, fields, GetRows, text
// chunks, opening and closing, and statements without rows. Runs on an
// in-memory SQLite database.
#include <gtest/gtest.h>

#include "fennick/data.h"
#include "test_databases.h"

namespace fennick {
namespace {

class RecordsetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_.Open("Provider=SQLite;Data Source=:memory:");
    connection_.Execute(
        "CREATE TABLE people (id INTEGER, name TEXT, notes TEXT);"
        "INSERT INTO people VALUES (1, 'Ann', 'first');"
        "INSERT INTO people VALUES (2, 'Bob', NULL);"
        "INSERT INTO people VALUES (3, 'Cy', 'third row notes')");
  }

  Recordset People() { return connection_.Execute("SELECT * FROM people ORDER BY id"); }

  Connection connection_;
};

TEST_F(RecordsetTest, CursorMovesBetweenBofAndEof) {
  Recordset rs = People();
  EXPECT_EQ(rs.State(), kAdStateOpen);
  EXPECT_EQ(rs.RecordCount(), 3);
  EXPECT_FALSE(rs.Bof());
  EXPECT_FALSE(rs.Eof());
  EXPECT_EQ(rs.AbsolutePosition(), 1);
  rs.MoveLast();
  EXPECT_EQ(rs.Fields("id").Value(), Variant(3));
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_EQ(rs.AbsolutePosition(), -3);
  EXPECT_DATA_ERROR(rs.MoveNext(), kErrDataNoCurrentRecord,
                    "Either BOF or EOF is True, or the current record has been deleted. "
                    "Requested operation requires a current record.");
  EXPECT_THROW(rs.Fields(0).Value(), Error);
  rs.MoveFirst();
  rs.MovePrevious();
  EXPECT_TRUE(rs.Bof());
  EXPECT_EQ(rs.AbsolutePosition(), -2);
  EXPECT_THROW(rs.MovePrevious(), Error);
  rs.Move(2);
  EXPECT_EQ(rs.Fields("id").Value(), Variant(2));
  rs.AbsolutePosition(3);
  EXPECT_EQ(rs.Fields("id").Value(), Variant(3));
  EXPECT_THROW(rs.AbsolutePosition(4), Error);

  Recordset empty = connection_.Execute("SELECT * FROM people WHERE id > 10");
  EXPECT_TRUE(empty.Bof());
  EXPECT_TRUE(empty.Eof());
  EXPECT_EQ(empty.RecordCount(), 0);
  EXPECT_EQ(empty.FieldCount(), 3u);
}

TEST_F(RecordsetTest, FieldsByIndexAndNameIgnoringCase) {
  Recordset rs = People();
  ASSERT_EQ(rs.FieldCount(), 3u);
  EXPECT_EQ(rs.Fields(1).Name(), "name");
  EXPECT_EQ(rs.Fields("NAME").Value(), Variant("Ann"));
  EXPECT_EQ(rs.Fields("Id").Value().type(), VarType::kLong);
  EXPECT_DATA_ERROR(rs.Fields("age"), kErrDataItemNotFound,
                    "Item cannot be found in the collection corresponding to the requested "
                    "name or ordinal: age");
  EXPECT_THROW(rs.Fields(3), Error);

  // A field reads whatever row is current, and survives moving the
  // recordset object.
  Field name = rs.Fields("name");
  rs.MoveNext();
  EXPECT_EQ(name.Value(), Variant("Bob"));
  Recordset moved = std::move(rs);
  moved.MoveNext();
  EXPECT_EQ(name.Value(), Variant("Cy"));
  EXPECT_EQ(name.ActualSize(), 2);
}

TEST_F(RecordsetTest, GetRowsReadsColumnsByRowFromTheCurrentRow) {
  Recordset rs = People();
  rs.MoveNext();
  auto rows = rs.GetRows();
  ASSERT_EQ(rows.size(), 3u);
  ASSERT_EQ(rows[0].size(), 2u);
  EXPECT_EQ(rows[0][0], Variant(2));
  EXPECT_EQ(rows[1][1], Variant("Cy"));
  EXPECT_TRUE(rows[2][0].IsNull());
  EXPECT_TRUE(rs.Eof());

  rs.MoveFirst();
  auto first = rs.GetRows(1);
  EXPECT_EQ(first[1], std::vector<Variant>{Variant("Ann")});
  EXPECT_EQ(rs.Fields("id").Value(), Variant(2));
  EXPECT_THROW(rs.GetString(3), Error);  // only the clip format exists
}

TEST_F(RecordsetTest, GetChunkReadsTextInPiecesUntilTheRowChanges) {
  Recordset rs = People();
  rs.AbsolutePosition(3);
  Field notes = rs.Fields("notes");
  EXPECT_EQ(notes.GetChunk(6), Variant("third "));
  EXPECT_EQ(notes.GetChunk(4), Variant("row "));
  // Reading another field ends the sequence.
  rs.Fields("id").Value();
  EXPECT_EQ(notes.GetChunk(5), Variant("third"));
  EXPECT_EQ(notes.GetChunk(50), Variant(" row notes"));
  EXPECT_TRUE(notes.GetChunk(1).IsNull());
  rs.MovePrevious();
  EXPECT_TRUE(notes.GetChunk(3).IsNull());  // Null value
  rs.MovePrevious();
  EXPECT_EQ(notes.GetChunk(3), Variant("fir"));
}

TEST_F(RecordsetTest, OpenAndCloseFollowTheObjectState) {
  Recordset rs;
  EXPECT_EQ(rs.State(), kAdStateClosed);
  EXPECT_DATA_ERROR(rs.Eof(), kErrDataObjectClosed,
                    "Operation is not allowed when the object is closed.");
  rs.Open("SELECT id FROM people", connection_);
  EXPECT_DATA_ERROR(rs.Open("SELECT 1", connection_), kErrDataObjectOpen,
                    "Operation is not allowed when the object is open.");
  EXPECT_THROW(rs.MaxRecords(5), Error);
  Field id = rs.Fields(0);
  rs.Close();
  EXPECT_EQ(rs.State(), kAdStateClosed);
  EXPECT_THROW(id.Value(), Error);
  EXPECT_THROW(rs.Close(), Error);
  // A statement without rows leaves the recordset closed.
  rs.Open("UPDATE people SET notes = 'x' WHERE id = 1", connection_);
  EXPECT_EQ(rs.State(), kAdStateClosed);
  rs.Open("people", connection_, kAdOpenStatic, kAdLockReadOnly, kAdCmdTable);
  EXPECT_EQ(rs.RecordCount(), 3);
}

TEST_F(RecordsetTest, ExecuteReportsChangedRows) {
  int64_t affected = 0;
  Recordset none = connection_.Execute("UPDATE people SET notes = 'n' WHERE id >= 2", &affected);
  EXPECT_EQ(affected, 2);
  EXPECT_EQ(none.State(), kAdStateClosed);
  connection_.Execute("SELECT * FROM people", &affected);
  EXPECT_EQ(affected, -1);
  // Several statements: the first result with columns is returned.
  Recordset rs = connection_.Execute(
      "DELETE FROM people WHERE id = 1; SELECT name FROM people ORDER BY id; SELECT 1", &affected);
  EXPECT_EQ(affected, 1);
  EXPECT_EQ(rs.GetString(kAdClipString, -1, ",", ";"), "Bob;Cy;");
}

TEST_F(RecordsetTest, ConnectionRejectsUseWhenClosed) {
  Connection closed;
  EXPECT_EQ(closed.State(), kAdStateClosed);
  EXPECT_DATA_ERROR(closed.Execute("SELECT 1"), kErrDataNoConnection,
                    "The connection cannot be used to perform this operation. It is either "
                    "closed or invalid in this context.");
  EXPECT_THROW(connection_.Open("Provider=SQLite;Data Source=:memory:"), Error);
  EXPECT_EQ(connection_.Provider(), "SQLite");
  EXPECT_EQ(connection_.CommandTimeout(), 30);
  Recordset kept = People();
  connection_.Close();
  EXPECT_EQ(connection_.Provider(), "");
  // Fetched rows outlive their connection.
  EXPECT_EQ(kept.RecordCount(), 3);
  EXPECT_EQ(kept.Fields("name").Value(), Variant("Ann"));
  // A closed connection can be opened again from its string.
  connection_.Open();
  EXPECT_EQ(connection_.Execute("SELECT 2").Fields(0).Value().AsInt64(), 2);
}

}  // namespace
}  // namespace fennick
