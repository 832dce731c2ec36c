// The globals of a script page: the page's intrinsic objects in forms that
// JavaScript can write, and a few helpers.
//
//   Request(name)                 query string, form, cookies, then server
//                                 variables; "" when none has the name
//   Request.QueryString(name)     also .Form, .Cookies, .ServerVariables:
//                                 (name) the value ("" when missing; a field
//                                 posted several times joined by ", "),
//                                 (n) the n-th field's value (from 1),
//                                 () the whole query string / request body,
//                                 .Count, .Key(n), .Keys(), .Values(name),
//                                 .Item(name)
//   Request.TotalBytes
//   Response.Write(v), .BinaryWrite(v), .End(), .Redirect(url), .Clear(),
//                                 .Flush(), .AddHeader(name, value),
//                                 .Cookies(name, value) (returns value), and
//                                 the properties ContentType, Charset,
//                                 Status, Buffer, Expires, CodePage, LCID
//   Session(name)                 read, also .Item(name), .Contents(name);
//                                 Session.Set(name, value) writes and
//                                 returns value (`Session(name) = value`
//                                 compiles to it: classic_assignment.h),
//                                 Session.Contents.name reads and writes,
//                                 .Remove(name), .Abandon(), .SessionID,
//                                 .Timeout
//   Application(name)             likewise, with .Lock() and .Unlock()
//   Server.CreateObject(progid), .MapPath(path), .URLEncode(text),
//                                 .HTMLEncode(text)
//   further frozen globals the host gives as JSON (Fennick, the component's
//                                 identity: Fennick.Version ...)
//   Enumerator                    JScript's enumerator over the Request
//                                 collections, component collections (Count
//                                 and Item) and arrays: atEnd(), moveNext(),
//                                 item(), moveFirst()
//
// The objects are made once per heap and find the running page through the
// heap; they are frozen, and the globals holding them cannot be replaced.
#ifndef FENNICK_PLATFORM_SCRIPT_SCRIPT_OBJECTS_H_
#define FENNICK_PLATFORM_SCRIPT_SCRIPT_OBJECTS_H_

#include <duktape.h>

#include <string>
#include <utility>
#include <vector>

namespace fennick {

// Installs the page globals into a new heap, with `json_globals` (name, JSON
// text) as further frozen globals; the engine's own `Duktape` global is
// removed. Call inside a protected call.
void InstallPageGlobals(duk_context* ctx,
                        const std::vector<std::pair<std::string, std::string>>& json_globals);

// Pushes the page writer (Response.Write), which the page function receives.
void PushPageWriter(duk_context* ctx);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_SCRIPT_OBJECTS_H_
