// Running script pages, and their error pages.
#include "platform/script/page_runtime.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>

#include "fennick/error.h"
#include "platform/script/native_memory.h"
#include "platform/script/page_template.h"
#include "platform/script/script_objects.h"
#include "platform/script/script_values.h"

namespace fennick {
namespace {

// What stopped a page with an error.
struct PageFailure {
  std::string file;  // virtual path
  uint32_t line = 0;
  std::string message;
  bool component = false;
  int32_t number = 0;
  std::string description;
  std::string source;
};

// The error's text with the component trace's line breaks kept as HTML.
std::string EncodeKeepingBreaks(std::string_view text) {
  std::string out = Server::HTMLEncode(text);
  for (size_t pos = 0; (pos = out.find("&lt;br&gt;", pos)) != std::string::npos;) {
    out.replace(pos, 10, "<br>");
    pos += 4;
  }
  return out;
}

// The error page replaces whatever the page wrote before it failed: a
// partial page is not the page it meant to show, and may be huge.
void WriteErrorPage(PageContext& page, std::string_view title, const PageFailure& f) {
  Response& response = page.response();
  response.Discard();
  response.Status("500 Internal Server Error");
  std::string out =
      "<div class=\"fennick-error\" style=\"font-family:arial,sans-serif;font-size:10pt;"
      "border:1px solid #c00;padding:8px;margin:8px 0\"><b>";
  out.append(Server::HTMLEncode(title)).append("</b> in ");
  out.append(Server::HTMLEncode(f.file));
  if (f.line > 0) out.append(", line ").append(std::to_string(f.line));
  out.append("<br>");
  if (f.component) {
    char number[16];
    std::snprintf(number, sizeof number, "%08x", static_cast<uint32_t>(f.number));
    out.append("Fennick error '").append(number).append("' (");
    out.append(std::to_string(f.number)).append(")<br>");
    out.append(Server::HTMLEncode(f.description));
    if (!f.source.empty()) out.append("<br><i>").append(EncodeKeepingBreaks(f.source)).append("</i>");
  } else {
    out.append(Server::HTMLEncode(f.message));
  }
  out.append("</div>\n");
  response.MutableBody().append(out);
}

// Reads the error value at idx (inside a protected call).
void ReadFailure(duk_context* ctx, duk_idx_t idx, const CompiledPage& compiled, PageFailure& f) {
  f.message = ToText(ctx, idx);
  if (duk_is_object(ctx, idx)) {
    duk_get_prop_string(ctx, idx, "lineNumber");
    double line = duk_get_number_default(ctx, -1, 0);
    duk_pop(ctx);
    if (line > 0) {
      SourcePos pos = compiled.Map(static_cast<int64_t>(line));
      f.file = compiled.VirtualPath(pos.file);
      f.line = pos.line;
    }
    if (IsComponentError(ctx, idx)) {
      f.component = true;
      duk_get_prop_string(ctx, idx, "number");
      f.number = static_cast<int32_t>(duk_get_number_default(ctx, -1, 0));
      duk_pop(ctx);
      duk_get_prop_string(ctx, idx, "description");
      f.description = ToText(ctx, -1);
      duk_pop(ctx);
      duk_get_prop_string(ctx, idx, "source");
      f.source = ToText(ctx, -1);
      duk_pop(ctx);
    }
  }
  if (f.file.empty()) f.file = compiled.VirtualPath(0);
}

std::string OutOfMemoryMessage(size_t limit) {
  return "Out of memory: the page used more than the " + std::to_string(limit >> 20) +
         " MiB a page may hold (its script and the objects it made)";
}

struct RunCall {
  ScriptHeap* heap;
  const CompiledPage* page;
};

duk_ret_t CallPage(duk_context* ctx, void* udata) {
  auto* call = static_cast<RunCall*>(udata);
  call->heap->PushPageFunction(*call->page);
  PushPageWriter(ctx);
  duk_call(ctx, 1);
  return 0;
}

bool IsUnder(const std::filesystem::path& root, const std::filesystem::path& file) {
  const std::string& r = root.native();
  const std::string& f = file.native();
  return f.size() > r.size() && f.compare(0, r.size(), r) == 0 &&
         (r.back() == '/' || f[r.size()] == '/');
}

}  // namespace

PageRuntime::PageRuntime(std::filesystem::path site_root, ScriptPageOptions options,
                         size_t max_idle_heaps)
    : site_root_(std::move(site_root)),
      options_(std::move(options)),
      pool_(max_idle_heaps, HeapSetup{options_.heap_memory_limit, options_.json_globals}) {}

void PageRuntime::Run(PageContext& page) {
  const std::string& path = page.request().Path();
  // Every leading "/" goes: a path joined to the root as "/srv/..." would
  // replace the root instead of lying below it.
  const size_t start = std::min(path.find_first_not_of('/'), path.size());
  std::error_code ec;
  std::filesystem::path file =
      std::filesystem::weakly_canonical(site_root_ / path.substr(start), ec);
  if (ec || !IsUnder(site_root_, file)) {
    page.response().Status("404 Not Found");
    page.response().Write("The page cannot be found.");
    return;
  }
  RunFile(page, file);
}

std::shared_ptr<const CompiledPage> PageRuntime::Compile(ScriptHeap& heap,
                                                         const std::filesystem::path& file) {
  TranslateResult translated = TranslatePage(site_root_, file);
  auto compiled = std::make_shared<CompiledPage>();
  compiled->id = NextPageId();
  compiled->file = file;
  compiled->files = std::move(translated.files);
  if (!translated.ok()) {
    compiled->error = std::move(translated.error);
    return compiled;
  }
  compiled->lines = std::move(translated.page->lines);
  compiled->code_page = translated.page->code_page;
  compiled->lcid = translated.page->lcid;
  std::string message;
  int64_t line = 0;
  if (!heap.Compile(file.native(), compiled->id, translated.page->script,
                    compiled->VirtualPath(0), compiled->bytecode, message, line)) {
    SourcePos pos = compiled->Map(line);
    compiled->error =
        TemplateError{compiled->VirtualPath(pos.file), line > 0 ? pos.line : 0, message};
    compiled->bytecode.clear();
  }
  return compiled;
}

void PageRuntime::RunFile(PageContext& page, const std::filesystem::path& file) {
  std::unique_ptr<ScriptHeap> heap = pool_.Acquire();
  std::shared_ptr<const CompiledPage> compiled =
      cache_.Get(file, [&] { return Compile(*heap, file); });
  if (compiled->error) {
    pool_.Release(std::move(heap));
    PageFailure f;
    f.file = compiled->error->file;
    f.line = compiled->error->line;
    f.message = compiled->error->message;
    WriteErrorPage(page, "Page error", f);
    return;
  }
  if (compiled->code_page) page.response().CodePage(compiled->code_page);
  if (compiled->lcid) page.response().LCID(compiled->lcid);

  duk_context* ctx = heap->context();
  auto deadline = std::chrono::steady_clock::now() + options_.time_limit;
  heap->BeginPage(page, deadline);
  RunCall call{heap.get(), compiled.get()};
  duk_idx_t top = duk_get_top(ctx);
  bool failed = duk_safe_call(ctx, CallPage, &call, 0, 1) != DUK_EXEC_SUCCESS;
  PageStop stop = heap->stop();
  // A C library refused memory for the cap (an XML document the page was
  // building): what it made may be incomplete, even when the page then
  // ended itself normally, so the page is answered as stopped.
  if (ThreadNativeLimitHit()) stop = PageStop::kMemoryCap;
  // A query or a regular expression stopped at the deadline raises its own
  // error, which may unwind the script before the engine's next stop check:
  // a page that failed past its deadline was stopped by its time limit.
  if (failed && stop == PageStop::kNone && std::chrono::steady_clock::now() >= deadline) {
    stop = PageStop::kTimeLimit;
  }
  PageFailure failure;
  if (failed && stop != PageStop::kEnded) {
    bool read = heap->Protected([&] { ReadFailure(ctx, top, *compiled, failure); });
    if (!read) {
      failure.file = compiled->VirtualPath(0);
      failure.message = "The page failed, and its error could not be read";
    }
    // The engine reports a refused allocation as "alloc failed", or, when
    // even the error could not be made, as a double error.
    if (heap->hit_memory_cap() && (failure.message.find("alloc failed") != std::string::npos ||
                                   failure.message.find("DoubleError") != std::string::npos)) {
      failure.message = OutOfMemoryMessage(heap->memory_limit()) + " (" + failure.message + ")";
    }
  }
  // Work the page's objects left for its end (an export asked for but not
  // displayed) runs once the page has run through, while they still live;
  // a page that failed or ended itself drops it.
  if (!failed) {
    try {
      page.RunEndWork();
    } catch (const PageEnd&) {
      // The work ended the page, as an export does.
    } catch (const Error& e) {
      failed = true;
      failure.file = compiled->VirtualPath(0);
      failure.message = e.description();
    }
  }
  page.DropEndWork();
  duk_set_top(ctx, top);
  size_t peak = heap->PagePeakBytes();
  size_t memory_limit = heap->memory_limit();
  bool clean = heap->EndPage();
  // A heap whose page was stopped mid-way is not trusted with another page.
  if (clean && stop != PageStop::kTimeLimit && stop != PageStop::kMemoryCap) {
    pool_.Release(std::move(heap));
  }
  heap.reset();
  // The allocator keeps what a large page freed for later use by the same
  // thread, so the process would stay as big as its largest page on every
  // worker thread; after a large page it is handed back to the system.
  if (peak > options_.trim_after_bytes) malloc_trim(0);

  if (stop == PageStop::kTimeLimit) {
    // Where the page was when it was stopped.
    PageFailure f;
    f.file = failure.file.empty() ? compiled->VirtualPath(0) : failure.file;
    f.line = failure.line;
    double seconds = std::chrono::duration<double>(options_.time_limit).count();
    char limit[32];
    std::snprintf(limit, sizeof limit, "%g", seconds);
    f.message = std::string("The page ran longer than its time limit of ") + limit +
                (seconds == 1 ? " second" : " seconds") + " and was stopped.";
    WriteErrorPage(page, "Page stopped", f);
  } else if (stop == PageStop::kMemoryCap) {
    PageFailure f;
    f.file = failure.file.empty() ? compiled->VirtualPath(0) : failure.file;
    f.line = failure.line;
    f.message = OutOfMemoryMessage(memory_limit) + ".";
    WriteErrorPage(page, "Page stopped", f);
  } else if (failed && stop == PageStop::kNone) {
    WriteErrorPage(page, "Script error", failure);
  }
}

void EnableScriptPages(WebServer& server, ScriptPageOptions options) {
  auto runtime = std::make_shared<PageRuntime>(server.options().site_root, std::move(options),
                                               server.options().threads);
  server.RegisterExtension(".asp", [runtime](PageContext& page) { runtime->Run(page); });
}

}  // namespace fennick
