// Script pages: the .asp files of the site folder, written in JavaScript
// (JScript) and run by the Duktape engine.
//
// A page is HTML with script blocks (`<% code %>`, `<%= expression %>`),
// directives (`<%@ Language="JScript" %>`) and server-side includes. It sees
// the intrinsic objects Request, Response, Session, Application and Server as
// globals and creates component objects with Server.CreateObject. Pages are
// compiled once and cached until a file they were made from changes. A page
// that runs longer than the time limit is stopped with an error page; errors
// name the .asp file and line.
#ifndef FENNICK_SCRIPT_PAGES_H_
#define FENNICK_SCRIPT_PAGES_H_

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "fennick/registry.h"
#include "fennick/server.h"

namespace fennick {

struct ScriptPageOptions {
  // How long a page may run before it is stopped with an error page.
  std::chrono::milliseconds time_limit{30000};
  // Memory cap of a page: what its script holds plus the native memory of
  // the objects it drives (response buffer, StringBuffers, grids). Beyond
  // it the page stops with an out-of-memory error page.
  size_t heap_memory_limit = size_t{256} << 20;
  // After a page that held more than this at once, the memory it freed is
  // handed back to the system (malloc_trim) instead of staying with the
  // process.
  size_t trim_after_bytes = size_t{64} << 20;
  // Frozen globals of every page, given as name and JSON text. By default
  // `Fennick`: the component's Version, TypeLibrary and Classes.
  std::vector<std::pair<std::string, std::string>> json_globals = {
      {"Fennick", ComponentInfoJson()}};
};

// Serves the site's .asp files on `server` as script pages (registers the
// ".asp" extension). Call before Run. The server's ObjectFactory is what
// Server.CreateObject creates objects with.
void EnableScriptPages(WebServer& server, ScriptPageOptions options = {});

}  // namespace fennick

#endif  // FENNICK_SCRIPT_PAGES_H_
