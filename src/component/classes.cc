// The component's public classes: their COM identities and the factories
// that make them. This file wires the layers together, so it sits above them.
#include <string>

#include "base/ascii.h"
#include "fennick/error.h"
#include "fennick/registry.h"
#include "delivery/schedule_page.h"
#include "designer/quillon2.h"
#include "designer/quillon2_object.h"
#include "frame/ado_objects.h"
#include "frame/string_buffer_object.h"
#include "graph/simple_graph_object.h"
#include "grid/data_grid_object.h"

namespace fennick {
namespace {

const ClassInfo kClasses[] = {
    {"DataGrid", "_DataGrid", "Fennick.DataGrid", "{70DAE39B-E091-4D94-9499-FD53A2F333E4}",
     "{9B420083-425A-4867-9B8C-342D890A9A77}", &CreateDataGridObject},
    {"Quillon2", "_Quillon2", "Fennick.Quillon2", "{BDA1F6F5-FE3E-427B-9037-ADAD07D3A5DF}",
     "{FE9A76D9-8D8C-4053-BA86-B4FBCE505302}", &CreateQuillon2Object},
    {"SimpleGraph", "_SimpleGraph", "Fennick.SimpleGraph",
     "{DC842175-1279-478B-8624-C540BCAF598F}", "{444CAB8A-434F-46B2-89F1-DA45862433CD}",
     &CreateSimpleGraphObject},
    {"StringBuffer", "_StringBuffer", "Fennick.StringBuffer",
     "{8EABD6FD-F422-4290-A263-5D2F4FF61C7F}", "{CC9A2238-206C-489C-8556-FAEBD2329E8A}",
     &CreateStringBufferObject},
};

// A JSON string of plain text: the identities hold no control characters,
// but quotes and backslashes are escaped all the same.
void AppendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

void AppendJsonMember(std::string& out, std::string_view name, std::string_view value) {
  AppendJsonString(out, name);
  out.push_back(':');
  AppendJsonString(out, value);
}

}  // namespace

std::span<const ClassInfo> PublicClasses() { return kClasses; }

const ClassInfo* FindClass(std::string_view key) {
  for (const ClassInfo& info : kClasses) {
    if (EqualsIgnoreCase(info.prog_id, key) || EqualsIgnoreCase(info.clsid, key)) return &info;
  }
  return nullptr;
}

std::shared_ptr<Object> CreateComponentObject(std::string_view prog_id) {
  // The designer's schedules page lives in the delivery layer above it:
  // handed down once, before the first designer can ask for it.
  static const bool schedule_page_installed =
      (designer::InstallSchedulePage(&delivery::WriteSchedulePage), true);
  (void)schedule_page_installed;
  const ClassInfo* info = FindClass(prog_id);
  // Pages hand connections and recordsets to the component's objects, so
  // they are made here too.
  if (!info) return CreateAdoObject(prog_id);
  if (!info->create) {
    throw Error(kErrCannotCreate,
                "ActiveX component can't create object: " + std::string(info->prog_id) +
                    " is not available in this build",
                "Server.CreateObject");
  }
  return info->create();
}

std::string ComponentInfoJson() {
  std::string out = "{";
  AppendJsonMember(out, "Version", kVersion);
  out.append(",\"TypeLibrary\":{");
  AppendJsonMember(out, "Name", kTypeLibraryName);
  out.push_back(',');
  AppendJsonMember(out, "Help", kTypeLibraryHelp);
  out.push_back(',');
  AppendJsonMember(out, "Version", kTypeLibraryVersion);
  out.push_back(',');
  AppendJsonMember(out, "Id", kTypeLibraryId);
  out.append("},\"Classes\":[");
  bool first = true;
  for (const ClassInfo& info : kClasses) {
    if (!first) out.push_back(',');
    first = false;
    out.push_back('{');
    AppendJsonMember(out, "Name", info.name);
    out.push_back(',');
    AppendJsonMember(out, "ProgID", info.prog_id);
    out.push_back(',');
    AppendJsonMember(out, "CLSID", info.clsid);
    out.push_back(',');
    AppendJsonMember(out, "IID", info.iid);
    out.append(info.create ? ",\"Available\":true}" : ",\"Available\":false}");
  }
  out.append("]}");
  return out;
}

}  // namespace fennick
