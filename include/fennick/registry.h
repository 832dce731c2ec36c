// The component's classes and their COM identity.
//
// Every public class is listed with its ProgID, CLSID and dispatch
// interface; Server.CreateObject makes objects through this registry.
// Thread-safe: the registry is fixed once the program starts.
#ifndef FENNICK_REGISTRY_H_
#define FENNICK_REGISTRY_H_

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "fennick/object.h"

namespace fennick {

// The component's own version: major.minor.revision.
inline constexpr std::string_view kVersion = "2.0.643";
inline constexpr std::string_view kTypeLibraryName = "Fennick";
inline constexpr std::string_view kTypeLibraryHelp = "Quillon";
inline constexpr std::string_view kTypeLibraryVersion = "1.1";
inline constexpr std::string_view kTypeLibraryId = "{D14CF1DD-A7D3-4F93-A401-C8C00665AF20}";

struct ClassInfo {
  std::string_view name;       // "DataGrid"
  std::string_view interface;  // "_DataGrid"
  std::string_view prog_id;    // "Fennick.DataGrid"
  std::string_view clsid;
  std::string_view iid;
  // Makes a new object; raises when no page runs for classes that need one.
  // Null while the class is not part of this build.
  std::shared_ptr<Object> (*create)();
};

// The public classes, in interface order.
std::span<const ClassInfo> PublicClasses();
// The class of a ProgID or CLSID (case-insensitive), or nullptr.
const ClassInfo* FindClass(std::string_view prog_id_or_clsid);
// Creates an object by ProgID: the public classes, and ADODB.Connection and
// ADODB.Recordset (the connection API's late-bound faces, which pages hand
// to the component's objects). nullptr for an unknown ProgID. Raises error
// 429 when the class cannot be created.
std::shared_ptr<Object> CreateComponentObject(std::string_view prog_id);

// The component's identity as JSON, for pages that show it:
// {"Version":"2.0.643","TypeLibrary":{"Name","Help","Version","Id"},
//  "Classes":[{"Name","ProgID","CLSID","IID","Available"}, ...]}.
std::string ComponentInfoJson();

}  // namespace fennick

#endif  // FENNICK_REGISTRY_H_
