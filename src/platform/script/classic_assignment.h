// Classic assignments: the way classic script pages store values,
//
//   Session("user") = Request.Form("user");
//   Application.Contents("hits") += 1;
//   Response.Cookies("lang") = "fr";
//
// is not JavaScript (a call is not something one may assign to). The page
// compiler rewrites these forms into calls of the objects' setters before
// the script is compiled:
//
//   Session(k) = v            Session.Set(k, v)        (also Session.Item(k),
//   Application(k) = v        Application.Set(k, v)     Session.Contents(k)
//   Response.Cookies(k) = v   Response.Cookies(k, v)    and Application's)
//   Session(k) op= v          Session.Set(t = (k), Session(t) op (v))
//
// The setters return the value they stored, so an assignment used as a
// value (`a = Session("x") = 1`) keeps its meaning. A compound assignment
// evaluates the key once, through a temporary the caller declares (see
// kClassicTemporary); compound assignments to cookies are not rewritten.
//
// Only code is rewritten: strings, comments, regular-expression literals
// and template literals are read as whole tokens and left as they are, as is
// every other assignment to a call (which stays the compiler's error). The
// rewrite never adds or removes a line break, so the lines of the script
// (and of the errors it raises) stay those of the page.
//
// Pure functions; thread-safe.
#ifndef FENNICK_PLATFORM_SCRIPT_CLASSIC_ASSIGNMENT_H_
#define FENNICK_PLATFORM_SCRIPT_CLASSIC_ASSIGNMENT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace fennick {

// The name of the n-th temporary of compound assignments is this prefix and
// n ("__fnkc0").
inline constexpr std::string_view kClassicTemporary = "__fnkc";

struct ClassicRewrite {
  std::string code;          // the rewritten script
  uint32_t temporaries = 0;  // __fnkc0 .. __fnkc{n-1}, to be declared by the caller
};

// Rewrites the classic assignments of the script `code`.
ClassicRewrite RewriteClassicAssignments(std::string_view code);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_SCRIPT_CLASSIC_ASSIGNMENT_H_
