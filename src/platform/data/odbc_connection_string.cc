// ODBC connection strings: splitting, joining, SQL Server's OLE DB strings
// rewritten for an ODBC driver, and passwords masked.
#include "platform/data/odbc_connection_string.h"

#include <algorithm>
#include <mutex>

#include "base/ascii.h"
#include "fennick/data.h"
#include "fennick/error.h"

namespace fennick::data {
namespace {

constexpr const char* kSource = "ODBC";

std::mutex driver_mutex;
std::string sql_server_driver = "FreeTDS";  // guarded by driver_mutex

// Keys compare as connection strings compare them: ignoring case, blanks
// and underscores ("User ID", "USERID", "user_id").
std::string NormalKey(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == ' ' || c == '_' || c == '\t') continue;
    out.push_back(AsciiLowerChar(c));
  }
  return out;
}

bool IsKey(const OdbcAttribute& a, std::initializer_list<std::string_view> names) {
  const std::string key = NormalKey(a.key);
  for (std::string_view name : names) {
    if (key == name) return true;
  }
  return false;
}

const OdbcAttribute* FindKey(const std::vector<OdbcAttribute>& attributes,
                             std::initializer_list<std::string_view> names) {
  const OdbcAttribute* found = nullptr;
  for (const OdbcAttribute& a : attributes) {
    if (IsKey(a, names)) found = &a;  // the last one wins, as in parsing
  }
  return found;
}

bool IsTrue(std::string_view value) {
  value = TrimBlanks(value);
  return EqualsIgnoreCase(value, "true") || EqualsIgnoreCase(value, "yes") ||
         EqualsIgnoreCase(value, "sspi") || value == "1";
}

bool IsFreeTds(std::string_view driver) {
  return AsciiUpper(driver).find("FREETDS") != std::string::npos ||
         AsciiUpper(driver).find("LIBTDSODBC") != std::string::npos;
}

// OLE DB keys no ODBC driver reads.
bool IsOleDbOnly(const OdbcAttribute& a) {
  return IsKey(a, {"provider", "persistsecurityinfo", "mode", "connecttimeout",
                   "extendedproperties", "localeidentifier", "oledbservices", "autotranslate",
                   "packetsize", "usecursorsforrowsets"});
}

std::string RewriteForSqlServer(const std::vector<OdbcAttribute>& in, std::string_view driver) {
  std::vector<OdbcAttribute> out;
  out.push_back({"Driver", std::string(driver)});
  std::string server;
  if (const OdbcAttribute* a =
          FindKey(in, {"datasource", "server", "address", "addr", "networkaddress"})) {
    server = std::string(TrimBlanks(a->value));
  }
  if (server.size() > 4 && EqualsIgnoreCase(server.substr(0, 4), "tcp:")) server.erase(0, 4);
  if (server == "." || EqualsIgnoreCase(server, "(local)") || server.empty()) server = "localhost";
  if (IsFreeTds(driver)) {
    // FreeTDS takes the port on its own; "host\instance" it reads itself.
    size_t comma = server.find(',');
    std::string port;
    if (comma != std::string::npos) {
      port = std::string(TrimBlanks(std::string_view(server).substr(comma + 1)));
      server = std::string(TrimBlanks(std::string_view(server).substr(0, comma)));
    }
    out.push_back({"Server", server});
    if (!port.empty()) out.push_back({"Port", port});
  } else {
    out.push_back({"Server", server});
  }
  if (const OdbcAttribute* a = FindKey(in, {"initialcatalog", "database"})) {
    out.push_back({"Database", a->value});
  }
  if (const OdbcAttribute* a = FindKey(in, {"userid", "uid", "user"})) {
    out.push_back({"UID", a->value});
  }
  if (const OdbcAttribute* a = FindKey(in, {"password", "pwd"})) out.push_back({"PWD", a->value});
  if (const OdbcAttribute* a = FindKey(in, {"applicationname", "app"})) {
    out.push_back({"APP", a->value});
  }
  if (const OdbcAttribute* a = FindKey(in, {"workstationid", "wsid"})) {
    out.push_back({"WSID", a->value});
  }
  if (IsFreeTds(driver)) {
    // The protocol that carries Unicode text and today's types, and text
    // exchanged as UTF-8.
    out.push_back({"TDS_Version", "7.4"});
    out.push_back({"ClientCharset", "UTF-8"});
  }
  return JoinOdbcString(out);
}

std::string PassThrough(const std::vector<OdbcAttribute>& in, bool msdasql) {
  std::vector<OdbcAttribute> out;
  const bool names_source = FindKey(in, {"dsn", "driver", "filedsn"}) != nullptr;
  for (const OdbcAttribute& a : in) {
    if (msdasql) {
      // MSDASQL's own names for the ODBC attributes.
      if (IsKey(a, {"datasource"})) {
        if (!names_source) out.push_back({"DSN", a.value});
        continue;
      }
      if (IsKey(a, {"userid"})) {
        out.push_back({"UID", a.value});
        continue;
      }
      if (IsKey(a, {"password"})) {
        out.push_back({"PWD", a.value});
        continue;
      }
      if (IsKey(a, {"initialcatalog"})) {
        out.push_back({"Database", a.value});
        continue;
      }
      if (IsKey(a, {"extendedproperties"})) {
        for (OdbcAttribute& e : SplitOdbcString(a.value)) out.push_back(std::move(e));
        continue;
      }
    }
    if (IsOleDbOnly(a)) continue;
    out.push_back(a);
  }
  if (FindKey(out, {"dsn", "driver", "filedsn"}) == nullptr) {
    throw Error(kErrDataInvalidArgument,
                "The ODBC connection string names no data source: give DSN=, FileDSN= or "
                "Driver={...}",
                kSource);
  }
  return JoinOdbcString(out);
}

}  // namespace

std::vector<OdbcAttribute> SplitOdbcString(std::string_view text) {
  std::vector<OdbcAttribute> out;
  size_t i = 0;
  while (i < text.size()) {
    size_t eq = text.find('=', i);
    size_t semi = text.find(';', i);
    if (eq == std::string_view::npos) break;
    if (semi != std::string_view::npos && semi < eq) {
      i = semi + 1;
      continue;
    }
    OdbcAttribute a;
    a.key = std::string(TrimBlanks(text.substr(i, eq - i)));
    size_t j = eq + 1;
    while (j < text.size() && (text[j] == ' ' || text[j] == '\t')) ++j;
    if (j < text.size() && (text[j] == '{' || text[j] == '"' || text[j] == '\'')) {
      const char close = text[j] == '{' ? '}' : text[j];
      ++j;
      while (j < text.size()) {
        if (text[j] == close) {
          if (j + 1 < text.size() && text[j + 1] == close) {
            a.value.push_back(close);
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        a.value.push_back(text[j++]);
      }
      size_t end = text.find(';', j);
      i = end == std::string_view::npos ? text.size() : end + 1;
    } else {
      size_t end = text.find(';', j);
      a.value = std::string(TrimBlanks(
          text.substr(j, end == std::string_view::npos ? std::string_view::npos : end - j)));
      i = end == std::string_view::npos ? text.size() : end + 1;
    }
    if (!a.key.empty()) out.push_back(std::move(a));
  }
  return out;
}

std::string JoinOdbcString(const std::vector<OdbcAttribute>& attributes) {
  std::string out;
  for (const OdbcAttribute& a : attributes) {
    out.append(a.key).push_back('=');
    const bool braces = a.value.find_first_of(";{} ") != std::string::npos;
    if (braces) {
      out.push_back('{');
      for (char c : a.value) {
        out.push_back(c);
        if (c == '}') out.push_back('}');
      }
      out.push_back('}');
    } else {
      out.append(a.value);
    }
    out.push_back(';');
  }
  return out;
}

bool IsWindowsSqlServerDriver(std::string_view driver) {
  const std::string d = AsciiUpper(TrimBlanks(driver));
  return d == "SQL SERVER" || d == "SQL NATIVE CLIENT" || d.starts_with("SQL SERVER NATIVE CLIENT");
}

bool IsSqlServerOleDbProvider(std::string_view provider) {
  const std::string p = AsciiUpper(TrimBlanks(provider));
  return p.starts_with("SQLOLEDB") || p.starts_with("SQLNCLI") || p.starts_with("MSOLEDBSQL");
}

std::string OdbcConnectionText(std::string_view text, std::string_view sql_server_driver) {
  std::vector<OdbcAttribute> attributes = SplitOdbcString(text);
  for (const OdbcAttribute& a : attributes) {
    if ((IsKey(a, {"integratedsecurity", "trustedconnection"}) && IsTrue(a.value))) {
      throw Error(kErrDataFailed,
                  "Integrated Security (Windows authentication) cannot be used on this server: "
                  "give the connection string a User ID and Password of a database login",
                  kSource);
    }
  }
  const OdbcAttribute* provider = FindKey(attributes, {"provider"});
  if (provider != nullptr && IsSqlServerOleDbProvider(provider->value)) {
    return RewriteForSqlServer(attributes, sql_server_driver);
  }
  // Windows' own SQL Server drivers exist on no other system: a string
  // naming one is written for the SQL Server driver of this site instead.
  if (const OdbcAttribute* driver = FindKey(attributes, {"driver"});
      driver != nullptr && IsWindowsSqlServerDriver(driver->value)) {
    return RewriteForSqlServer(attributes, sql_server_driver);
  }
  const bool msdasql =
      provider != nullptr && AsciiUpper(TrimBlanks(provider->value)).starts_with("MSDASQL");
  return PassThrough(attributes, msdasql);
}

std::string MaskPasswords(std::string_view text, std::string_view password) {
  std::string out(text);
  const std::string upper = AsciiUpper(text);
  // Walk back to front so that earlier positions stay valid.
  std::vector<std::pair<size_t, size_t>> spans;  // value start, length
  for (std::string_view key : {"PASSWORD", "PWD"}) {
    for (size_t at = upper.find(key); at != std::string::npos; at = upper.find(key, at + 1)) {
      // "PWD" inside "PASSWORD"? No: different letters. A longer word
      // ending in the key ("NEWPWD") still names a password.
      size_t j = at + key.size();
      while (j < upper.size() && (upper[j] == ' ' || upper[j] == '\t')) ++j;
      if (j >= upper.size() || upper[j] != '=') continue;
      ++j;
      while (j < upper.size() && (upper[j] == ' ' || upper[j] == '\t')) ++j;
      size_t end;
      if (j < upper.size() && (upper[j] == '{' || upper[j] == '"' || upper[j] == '\'')) {
        const char close = upper[j] == '{' ? '}' : upper[j];
        end = j + 1;
        while (end < upper.size()) {
          if (upper[end] == close) {
            if (end + 1 < upper.size() && upper[end + 1] == close) {
              end += 2;
              continue;
            }
            ++end;
            break;
          }
          ++end;
        }
      } else {
        end = upper.find(';', j);
        if (end == std::string::npos) end = upper.size();
      }
      spans.emplace_back(j, end - j);
    }
  }
  std::sort(spans.begin(), spans.end(), [](auto& a, auto& b) { return a.first > b.first; });
  size_t limit = std::string::npos;
  for (auto [start, length] : spans) {
    if (start >= limit) continue;
    length = std::min(length, limit - start);
    out.replace(start, length, "****");
    limit = start;
  }
  if (password.size() >= 4) {
    for (size_t at = out.find(password); at != std::string::npos; at = out.find(password, at + 4)) {
      out.replace(at, password.size(), "****");
    }
  }
  return out;
}

std::string SqlServerOdbcDriver() {
  std::lock_guard lock(driver_mutex);
  return sql_server_driver;
}

}  // namespace fennick::data

namespace fennick {

void SetSqlServerOdbcDriver(std::string_view driver) {
  std::lock_guard lock(data::driver_mutex);
  data::sql_server_driver = driver.empty() ? "FreeTDS" : std::string(driver);
}

}  // namespace fennick
