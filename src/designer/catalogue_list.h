// The catalogue's list of groups and reports: the shared copy of the
// reports file drawn by the catalogue stylesheet, and the HTML drawn, kept
// for the next pages that view the same copy the same way.
//
// The stylesheet reads a small document built for it: the page's switches
// on the root, and each group and report with its title, description and
// ready, encoded links. Definitions and statements are not in it, so no
// password can reach the page. What the list depends on besides the file
// is a CatalogueView; the HTML is cached per (copy of the file, view), and
// the delete links' token, fresh on every page, goes in when the list is
// written. The cache is process-wide, bounded (kMaxCatalogueLists lists,
// kMaxCatalogueBytes bytes) and thread-safe.
#ifndef FENNICK_DESIGNER_CATALOGUE_LIST_H_
#define FENNICK_DESIGNER_CATALOGUE_LIST_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "designer/stored_reports.h"

namespace fennick::designer {

inline constexpr size_t kMaxCatalogueLists = 16;
inline constexpr size_t kMaxCatalogueBytes = 16 << 20;

// How one page views the catalogue.
struct CatalogueView {
  std::string path;   // the page's URL
  std::string query;  // the page's preserved query string, "" when none
  std::string hide_report_ids, use_report_ids, use_reports, hidden_reports;
  std::string link_target;
  bool can_delete = false;      // delete links (they carry the token)
  bool can_edit_group = false;  // group titles link to the group entry page
  // The stylesheet's captions: the group title's tooltip, the delete
  // link's tooltip and its onclick script.
  std::string edit_title, delete_title, delete_click;
};

// `link` followed by "&" and `query` when there is one.
std::string WithQuery(std::string link, const std::string& query);

// The list as drawn: the HTML in pieces, the page's delete token going
// between each two.
struct CatalogueList {
  std::vector<std::string> pieces;
  size_t bytes = 0;  // of all pieces

  // The list's size with `token_size` bytes of token between the pieces.
  size_t SizeWith(size_t token_size) const {
    return bytes + (pieces.empty() ? 0 : (pieces.size() - 1) * token_size);
  }
};

// The list of `reports` as `view` shows it, drawn or from the cache.
// Raises fennick::Error when the stylesheet does not compile or the
// transform fails.
std::shared_ptr<const CatalogueList> CatalogueListOf(const StoredReports& reports,
                                                     const CatalogueView& view);

}  // namespace fennick::designer

#endif  // FENNICK_DESIGNER_CATALOGUE_LIST_H_
