// The PDF report drawn with cairo and pango.
#include "export/pdf_layout.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <numeric>

#include "export/cell_text.h"
#include "fennick/error.h"

namespace fennick {
namespace {

constexpr char kSource[] = "Fennick.PdfExporter";

// Sizes in points: the paper, its margins, a cell's padding, the narrowest
// and widest column a layout gives.
constexpr double kA4Width = 595.276, kA4Height = 841.89;
constexpr double kLetterWidth = 612, kLetterHeight = 792;
constexpr double kMargin = 36;
constexpr double kPad = 3;
constexpr double kMinColumn = 24, kMaxColumn = 320;
// Rows held to measure the columns by, and the characters of a cell that
// are laid out at all (no column shows more; the rest is the ellipsis).
constexpr size_t kSampleRows = 1000;
constexpr size_t kMaxCellBytes = 1200;

// Characters DejaVu lacks (Chinese, Japanese, Korean) come from the other
// fonts fontconfig knows: the install script adds WenQuanYi Micro Hei.
constexpr char kCellFont[] = "DejaVu Sans 8";
constexpr char kBoldFont[] = "DejaVu Sans Bold 8";
constexpr char kTitleFont[] = "DejaVu Sans Bold 14";
constexpr char kNoteFont[] = "DejaVu Sans Oblique 8";

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct LayoutDeleter {
  void operator()(PangoLayout* l) const { g_object_unref(l); }
};
struct FontDeleter {
  void operator()(PangoFontDescription* f) const { pango_font_description_free(f); }
};
using LayoutPtr = std::unique_ptr<PangoLayout, LayoutDeleter>;
using FontPtr = std::unique_ptr<PangoFontDescription, FontDeleter>;

// A cell's text as the report lays it out: one line, clean, bounded.
void CellText(std::string_view text, std::string& out) {
  out.clear();
  AppendCellText(text.substr(0, kMaxCellBytes + 4), true, out);
  if (out.size() > kMaxCellBytes) {
    size_t cut = kMaxCellBytes;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
    out.resize(cut);
  }
}

}  // namespace

struct PdfReport::Impl {
  const ExportTable& table;
  PdfReportSettings settings;
  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface;
  std::unique_ptr<cairo_t, ContextDeleter> cr;
  FontPtr cell_font, bold_font, title_font, note_font;
  // One layout per column (its width and alignment set once), and one
  // for the lines around the table.
  std::vector<LayoutPtr> layouts;
  LayoutPtr free_layout;
  size_t columns = 0;
  double page_width = kA4Width, page_height = kA4Height;
  std::vector<double> widths, lefts;
  double row_height = 0;
  double y = 0;
  int page = 0;
  bool page_open = false;
  bool laid_out = false;
  int64_t rows_drawn = 0;
  std::vector<std::vector<std::string>> held;
  std::vector<std::string> scratch;

  Impl(const std::filesystem::path& path, const ExportTable& t, PdfReportSettings s)
      : table(t), settings(std::move(s)) {
    if (settings.paper == "Letter") {
      page_width = kLetterWidth;
      page_height = kLetterHeight;
    }
    surface.reset(cairo_pdf_surface_create(path.c_str(), page_width, page_height));
    Check(cairo_surface_status(surface.get()));
    std::string title;
    AppendCellText(settings.title, true, title);
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "Fennick");
    cr.reset(cairo_create(surface.get()));
    cell_font.reset(pango_font_description_from_string(kCellFont));
    bold_font.reset(pango_font_description_from_string(kBoldFont));
    title_font.reset(pango_font_description_from_string(kTitleFont));
    note_font.reset(pango_font_description_from_string(kNoteFont));
    columns = table.ColumnCount();
    for (size_t c = 0; c < columns; ++c) {
      layouts.emplace_back(pango_cairo_create_layout(cr.get()));
      pango_layout_set_font_description(layouts.back().get(), cell_font.get());
      pango_layout_set_single_paragraph_mode(layouts.back().get(), TRUE);
    }
    free_layout.reset(pango_cairo_create_layout(cr.get()));
    // The line height of a cell, from a text with ascent and descent.
    pango_layout_set_font_description(free_layout.get(), cell_font.get());
    pango_layout_set_text(free_layout.get(), "Hg\xC3\x89y", -1);
    int w = 0, h = 0;
    pango_layout_get_size(free_layout.get(), &w, &h);
    row_height = static_cast<double>(h) / PANGO_SCALE + 2 * kPad;
    scratch.resize(columns);
  }

  static void Check(cairo_status_t status) {
    if (status != CAIRO_STATUS_SUCCESS) {
      throw Error(kErrInvalidCall,
                  std::string("The PDF could not be written: ") + cairo_status_to_string(status),
                  kSource);
    }
  }

  double TextWidth(PangoLayout* layout, std::string_view text) {
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    return static_cast<double>(w) / PANGO_SCALE;
  }

  // Column widths from the captions and the held rows; the paper turns
  // when the columns need more than its portrait width.
  void Layout() {
    if (laid_out) return;
    laid_out = true;
    std::vector<double> natural(columns, kMinColumn);
    std::string text;
    pango_layout_set_font_description(free_layout.get(), bold_font.get());
    for (size_t c = 0; c < columns; ++c) {
      CellText(table.Caption(c), text);
      natural[c] = std::max(natural[c], TextWidth(free_layout.get(), text) + 2 * kPad);
    }
    pango_layout_set_font_description(free_layout.get(), cell_font.get());
    for (const std::vector<std::string>& row : held) {
      for (size_t c = 0; c < columns; ++c) {
        if (row[c].empty() || natural[c] >= kMaxColumn) continue;
        natural[c] = std::max(natural[c], TextWidth(free_layout.get(), row[c]) + 2 * kPad);
      }
    }
    for (double& w : natural) w = std::min(w, kMaxColumn);
    const double total = std::accumulate(natural.begin(), natural.end(), 0.0);
    if (total > page_width - 2 * kMargin) {
      std::swap(page_width, page_height);
      cairo_pdf_surface_set_size(surface.get(), page_width, page_height);
    }
    const double usable = page_width - 2 * kMargin;
    widths = natural;
    if (total <= usable) {
      // Room to spare: every column grows by the same share of it.
      for (double& w : widths) w *= usable / std::max(total, 1.0);
    } else {
      // Too wide: narrow columns keep their width, the others share what
      // is left equally.
      std::vector<size_t> order(columns);
      std::iota(order.begin(), order.end(), 0);
      std::sort(order.begin(), order.end(),
                [&](size_t a, size_t b) { return natural[a] < natural[b]; });
      double left = usable;
      size_t remaining = columns;
      for (size_t i : order) {
        const double share = left / static_cast<double>(remaining);
        widths[i] = std::min(natural[i], share);
        left -= widths[i];
        --remaining;
      }
    }
    lefts.assign(columns, kMargin);
    for (size_t c = 1; c < columns; ++c) lefts[c] = lefts[c - 1] + widths[c - 1];
    for (size_t c = 0; c < columns; ++c) {
      PangoLayout* layout = layouts[c].get();
      pango_layout_set_width(layout,
                             static_cast<int>(std::max(1.0, widths[c] - 2 * kPad) * PANGO_SCALE));
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
      // Numbers to the right; text by its own direction (right-to-left
      // text starts at the right).
      pango_layout_set_alignment(layout,
                                 table.IsNumberColumn(c) ? PANGO_ALIGN_RIGHT : PANGO_ALIGN_LEFT);
      pango_layout_set_auto_dir(layout, !table.IsNumberColumn(c));
    }
    std::vector<std::vector<std::string>> rows = std::move(held);
    held.clear();
    std::vector<std::string_view> texts(columns);
    for (const std::vector<std::string>& row : rows) {
      for (size_t c = 0; c < columns; ++c) texts[c] = row[c];
      DrawRow(texts, false);
    }
  }

  void StartPage() {
    ++page;
    page_open = true;
    y = kMargin;
    cairo_t* c = cr.get();
    if (page == 1) {
      const double width = page_width - 2 * kMargin;
      PangoLayout* l = free_layout.get();
      pango_layout_set_width(l, static_cast<int>(width * PANGO_SCALE));
      pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
      // At most three lines of each, the last cut with an ellipsis.
      pango_layout_set_height(l, -3);
      pango_layout_set_ellipsize(l, PANGO_ELLIPSIZE_END);
      auto line = [&](const std::string& text, PangoFontDescription* font, double gap) {
        if (text.empty()) return;
        std::string clean;
        AppendCellText(text, true, clean);
        pango_layout_set_font_description(l, font);
        pango_layout_set_text(l, clean.data(), static_cast<int>(clean.size()));
        cairo_set_source_rgb(c, 0, 0, 0);
        cairo_move_to(c, kMargin, y);
        pango_cairo_show_layout(c, l);
        int w = 0, h = 0;
        pango_layout_get_size(l, &w, &h);
        y += static_cast<double>(h) / PANGO_SCALE + gap;
      };
      line(settings.title, title_font.get(), 4);
      line(settings.filter, note_font.get(), 4);
      y += 4;
      pango_layout_set_height(l, -1);
      pango_layout_set_font_description(l, cell_font.get());
    }
    DrawCaptions();
  }

  void EndPage() {
    if (!page_open) return;
    page_open = false;
    cairo_t* c = cr.get();
    PangoLayout* l = free_layout.get();
    const std::string number = "Page " + std::to_string(page);
    pango_layout_set_font_description(l, cell_font.get());
    pango_layout_set_width(l, static_cast<int>((page_width - 2 * kMargin) * PANGO_SCALE));
    pango_layout_set_alignment(l, PANGO_ALIGN_CENTER);
    pango_layout_set_text(l, number.data(), static_cast<int>(number.size()));
    cairo_set_source_rgb(c, 0.25, 0.25, 0.25);
    cairo_move_to(c, kMargin, page_height - kMargin + 8);
    pango_cairo_show_layout(c, l);
    pango_layout_set_alignment(l, PANGO_ALIGN_LEFT);
    cairo_show_page(c);
    Check(cairo_status(c));
  }

  void DrawCaptions() {
    cairo_t* c = cr.get();
    cairo_set_source_rgb(c, 0.82, 0.84, 0.88);
    cairo_rectangle(c, kMargin, y, page_width - 2 * kMargin, row_height);
    cairo_fill(c);
    std::vector<std::string> captions(columns);
    std::vector<std::string_view> texts(columns);
    for (size_t i = 0; i < columns; ++i) {
      CellText(table.Caption(i), captions[i]);
      texts[i] = captions[i];
    }
    DrawCells(texts, bold_font.get());
    y += row_height;
    cairo_set_source_rgb(c, 0.3, 0.3, 0.3);
    cairo_set_line_width(c, 0.75);
    cairo_move_to(c, kMargin, y);
    cairo_line_to(c, page_width - kMargin, y);
    cairo_stroke(c);
  }

  void DrawCells(const std::vector<std::string_view>& texts, PangoFontDescription* font) {
    cairo_t* c = cr.get();
    cairo_set_source_rgb(c, 0, 0, 0);
    for (size_t i = 0; i < columns; ++i) {
      if (texts[i].empty()) continue;
      PangoLayout* l = layouts[i].get();
      if (font != cell_font.get()) pango_layout_set_font_description(l, font);
      pango_layout_set_text(l, texts[i].data(), static_cast<int>(texts[i].size()));
      cairo_move_to(c, lefts[i] + kPad, y + kPad);
      pango_cairo_show_layout(c, l);
      if (font != cell_font.get()) pango_layout_set_font_description(l, cell_font.get());
    }
  }

  // A row of the table, on a new page when this one is full; `footer`
  // rows are bold under a rule.
  void DrawRow(const std::vector<std::string_view>& texts, bool footer) {
    if (!page_open) StartPage();
    if (y + row_height > page_height - kMargin) {
      EndPage();
      StartPage();
    }
    cairo_t* c = cr.get();
    if (footer) {
      cairo_set_source_rgb(c, 0.3, 0.3, 0.3);
      cairo_set_line_width(c, 0.5);
      cairo_move_to(c, kMargin, y);
      cairo_line_to(c, page_width - kMargin, y);
      cairo_stroke(c);
    } else if (rows_drawn++ % 2 == 1) {
      cairo_set_source_rgb(c, 0.93, 0.94, 0.96);
      cairo_rectangle(c, kMargin, y, page_width - 2 * kMargin, row_height);
      cairo_fill(c);
    }
    DrawCells(texts, footer ? bold_font.get() : cell_font.get());
    y += row_height;
  }
};

PdfReport::PdfReport(const std::filesystem::path& path, const ExportTable& table,
                     PdfReportSettings settings)
    : impl_(std::make_unique<Impl>(path, table, std::move(settings))) {}

PdfReport::~PdfReport() = default;

void PdfReport::AddRow(const std::vector<ExportTable::TypedCell>& cells) {
  Impl& m = *impl_;
  if (!m.laid_out) {
    std::vector<std::string> row(m.columns);
    for (size_t c = 0; c < m.columns; ++c) {
      if (!cells[c].null) CellText(cells[c].text, row[c]);
    }
    m.held.push_back(std::move(row));
    if (m.held.size() >= kSampleRows) m.Layout();
    return;
  }
  std::vector<std::string_view> texts(m.columns);
  for (size_t c = 0; c < m.columns; ++c) {
    m.scratch[c].clear();
    if (!cells[c].null) CellText(cells[c].text, m.scratch[c]);
    texts[c] = m.scratch[c];
  }
  m.DrawRow(texts, false);
}

void PdfReport::Layout() { impl_->Layout(); }

void PdfReport::Finish(const std::vector<RunningFooterRow>& footers) {
  Impl& m = *impl_;
  m.Layout();
  if (!m.page_open) m.StartPage();
  std::vector<std::string> texts(m.columns);
  std::vector<std::string_view> views(m.columns);
  for (const RunningFooterRow& footer : footers) {
    bool labelled = false;
    for (size_t c = 0; c < m.columns; ++c) {
      texts[c].clear();
      if (!footer.cells[c].null) {
        CellText(footer.cells[c].text, texts[c]);
      } else if (!labelled) {
        texts[c] = footer.label;
        labelled = true;
      }
      views[c] = texts[c];
    }
    m.DrawRow(views, true);
  }
  m.EndPage();
  m.cr.reset();
  cairo_surface_finish(m.surface.get());
  const cairo_status_t status = cairo_surface_status(m.surface.get());
  m.surface.reset();
  Impl::Check(status);
}

int PdfReport::pages() const { return impl_->page; }

}  // namespace fennick
