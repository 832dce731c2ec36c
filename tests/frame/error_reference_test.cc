// Database messages as pages show them: the drivers' own texts (those of a
// grid page over HTTP are in tests/grid/page_bounds_test.cc), with what
// locates the server taken out and the rest kept word for word.
#include "frame/error_reference.h"

#include <gtest/gtest.h>

namespace fennick {
namespace {

TEST(ErrorReferenceTest, ServerDetailsLeaveDriverMessages) {
  const struct {
    const char* message;
    const char* shown;
  } cases[] = {
      {"connection to server at \"db.internal\" (10.1.2.3), port 6432 failed: timeout",
       "connection to server failed: timeout"},
      {"could not translate host name \"db.internal\" to address: Name or service not known",
       "could not translate host name to address: Name or service not known"},
      {"Can't connect to MySQL server on '127.0.0.1:3306' (111)",
       "Can't connect to MySQL server (111)"},
      {"Can't connect to local MySQL server through socket '/run/mysqld/mysqld.sock' (2)",
       "Can't connect to local MySQL server (2)"},
      {"Unknown MySQL server host 'db.internal' (-2)", "Unknown MySQL server host (-2)"},
      {"Access denied for user 'app'@'10.0.0.7' (using password: YES)",
       "Access denied for user 'app' (using password: YES)"},
      {"unable to open database file: /srv/site/data/shop.db", "unable to open database file:"},
      // What names no place stays.
      {"no such column: Secret", "no such column: Secret"},
      {"syntax error at or near \"(\"", "syntax error at or near \"(\""},
      {"Unknown column 'x' in 'field list'", "Unknown column 'x' in 'field list'"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutServerDetails(c.message), c.shown) << c.message;
}

}  // namespace
}  // namespace fennick
