// Host services of the component: the host context, page output, the error
// boxes and the error trace.
//
// Every HTML fragment the component writes goes out through WriteToPage, in
// call order, into the page's one response buffer. Public entry routines run
// their bodies under RunTraced, so an escaping error carries the chain of
// routine labels and step numbers it passed through.
#ifndef FENNICK_FRAME_HOST_H_
#define FENNICK_FRAME_HOST_H_

#include <exception>
#include <string>
#include <string_view>

#include "fennick/error.h"
#include "fennick/page.h"

namespace fennick {

// The intrinsic objects of the running page and its URL, as the component's
// objects see them. Valid while the page runs.
struct HostContext {
  PageContext* page = nullptr;
  Request* request = nullptr;
  Response* response = nullptr;
  Session* session = nullptr;
  Application* application = nullptr;
  Server* server = nullptr;
  std::string page_url;
};

// Binds the host context for a new object of class `class_name`. Raises an
// error naming the class when no page is running: the object is not created.
HostContext BindHostContext(std::string_view class_name);

// Writes text to the running page's response.
void WriteToPage(std::string_view text);

// Writes the inline red message box and returns.
void ShowError(std::string_view message);
// The fatal form, one size larger.
void ShowError(std::string_view message, bool fatal);

// The step number as the trace writes it: "3", "4.1".
std::string FormatTraceStep(double step);

// Runs body; an Error escaping it is raised again with
// "<br> " + label + " Line: " + step appended to its source (the step as it
// stands when the error escapes). Other exceptions become an Error with
// their message. PageEnd passes untouched.
template <class Body>
decltype(auto) RunTraced(std::string_view label, const double& step, Body&& body) {
  try {
    return body();
  } catch (Error& e) {
    e.AppendSource("<br> " + std::string(label) + " Line: " + FormatTraceStep(step));
    throw;
  } catch (const std::bad_alloc&) {
    throw Error(7, "Out of memory",
                "Fennick<br> " + std::string(label) + " Line: " + FormatTraceStep(step));
  } catch (const std::exception& e) {
    throw Error(-1, e.what(),
                "Fennick<br> " + std::string(label) + " Line: " + FormatTraceStep(step));
  }
}

}  // namespace fennick

#endif  // FENNICK_FRAME_HOST_H_
