// Catalog: tables, views, procedures and procedure parameters of a
// connection's database, as the drivers list them.
#include "fennick/data.h"
#include "fennick/error.h"
#include "platform/data/data_state.h"

namespace fennick {
std::vector<CatalogObject> Catalog::Tables() const {
  return data::WithDriver(connection_->OpenState(),
                          [](data::DriverConnection& d) { return d.ListObjects(false); });
}

std::vector<CatalogObject> Catalog::Procedures() const {
  return data::WithDriver(connection_->OpenState(),
                          [](data::DriverConnection& d) { return d.ListObjects(true); });
}

std::vector<Parameter> Catalog::ProcedureParameters(std::string_view procedure) const {
  auto found = data::WithDriver(connection_->OpenState(), [procedure](data::DriverConnection& d) {
    return d.ProcedureParameters(procedure);
  });
  if (!found) {
    throw Error(kErrDataItemNotFound,
                "Item cannot be found in the collection corresponding to the requested name "
                "or ordinal: " +
                    std::string(procedure),
                "Catalog");
  }
  return std::move(*found);
}

Command Catalog::ProcedureCommand(std::string_view procedure) const {
  Command command(*connection_);
  command.CommandText(procedure);
  command.CommandType(kAdCmdStoredProc);
  for (Parameter& p : ProcedureParameters(procedure)) command.AppendParameter(std::move(p));
  return command;
}

TableKey Catalog::PrimaryKey(std::string_view table) const {
  return data::WithDriver(connection_->OpenState(),
                          [table](data::DriverConnection& d) { return d.PrimaryKey(table); });
}

}  // namespace fennick
