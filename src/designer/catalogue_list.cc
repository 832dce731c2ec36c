// Drawing the catalogue's list, and the cache of lists drawn.
#include "designer/catalogue_list.h"

#include <list>
#include <mutex>
#include <random>
#include <utility>

#include "designer/designer_resources.h"
#include "fennick/error.h"
#include "fennick/page.h"
#include "platform/xml/xslt.h"

namespace fennick::designer {
namespace {

// What the list is drawn with in place of the delete token, then split at:
// letters and digits (which no encoding on the way changes), random for
// the process so that no stored text can foresee it.
const std::string& TokenMark() {
  static const std::string mark = [] {
    static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string out = "fnkTK";
    for (int i = 0; i < 24; ++i) out.push_back(kChars[random() % (sizeof kChars - 1)]);
    return out;
  }();
  return mark;
}

void AddKeyField(std::string& key, std::string_view value) {
  key += std::to_string(value.size());
  key += ':';
  key.append(value);
}

std::string KeyOf(const StoredReports& reports, const CatalogueView& view) {
  std::string key = std::to_string(reports.version());
  for (const std::string* field :
       {&view.path, &view.query, &view.hide_report_ids, &view.use_report_ids, &view.use_reports,
        &view.hidden_reports, &view.link_target, &view.edit_title, &view.delete_title,
        &view.delete_click}) {
    AddKeyField(key, *field);
  }
  key += view.can_delete ? 'D' : '-';
  key += view.can_edit_group ? 'G' : '-';
  return key;
}

// The stylesheet's input (see the header comment).
XmlDocument ListInput(const StoredReports& reports, const CatalogueView& view) {
  auto url = [](std::string_view text) { return Server::URLEncode(text); };
  XmlDocument doc = XmlDocument::WithRoot("quillon");
  XmlNode root = doc.Root();
  root.SetAttribute("hideid", view.hide_report_ids);
  root.SetAttribute("useid", view.use_report_ids);
  root.SetAttribute("use", view.use_reports);
  root.SetAttribute("hide", view.hidden_reports);
  root.SetAttribute("target", view.link_target);
  if (view.can_delete) root.SetAttribute("delete", "1");
  if (view.can_edit_group) root.SetAttribute("editgroup", "1");
  XmlNode groups = root.AppendElement("groups");
  for (const GroupEntry& group : reports.groups()) {
    XmlNode node = groups.AppendElement("group");
    node.SetAttribute("id", group.id);
    node.SetAttribute("title", group.title);
    node.SetAttribute("href", WithQuery(view.path + "?a=n&gi=" + url(group.id), view.query) +
                                  "&gn=" + url(group.title));
  }
  XmlNode list = root.AppendElement("reports");
  for (const StoredReport& report : reports.reports()) {
    XmlNode node = list.AppendElement("report");
    node.SetAttribute("id", report.id);
    node.SetAttribute("group", report.group);
    node.SetAttribute("title", report.title);
    node.SetAttribute("href", WithQuery(view.path + "?rid=" + url(report.id), view.query));
    if (view.can_delete) {
      node.SetAttribute(
          "delhref",
          WithQuery(view.path + "?a=d&id=" + url(report.id) + "&tk=" + TokenMark(), view.query));
    }
    node.SetText(report.description);
  }
  return doc;
}

CatalogueList DrawList(const StoredReports& reports, const CatalogueView& view) {
  XsltCompileResult style = XsltCache::Shared().FromText(CatalogueStylesheetText());
  if (!style.ok()) throw Error(-1, "The catalogue stylesheet does not compile: " + style.error);
  XsltResult html =
      style.stylesheet->Transform(ListInput(reports, view), {{"edittitle", view.edit_title},
                                                             {"deltitle", view.delete_title},
                                                             {"delclick", view.delete_click}});
  if (!html.ok()) throw Error(-1, "The catalogue could not be drawn: " + html.error);
  CatalogueList list;
  const std::string& mark = TokenMark();
  size_t from = 0;
  for (size_t at; (at = html.text.find(mark, from)) != std::string::npos; from = at + mark.size()) {
    list.pieces.push_back(html.text.substr(from, at - from));
  }
  list.pieces.push_back(from == 0 ? std::move(html.text) : html.text.substr(from));
  for (const std::string& piece : list.pieces) list.bytes += piece.size();
  return list;
}

// Lists drawn, most recently used first; bounded in count and bytes.
class ListCache {
 public:
  std::shared_ptr<const CatalogueList> Find(const std::string& key) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->key != key) continue;
      entries_.splice(entries_.begin(), entries_, it);
      return entries_.front().list;
    }
    return nullptr;
  }

  void Keep(std::string key, std::shared_ptr<const CatalogueList> list) {
    const size_t bytes = key.size() + list->bytes;
    if (bytes > kMaxCatalogueBytes) return;
    std::list<Entry> dropped;  // freed after the lock
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->key == key) {
        bytes_ -= it->bytes;
        dropped.splice(dropped.end(), entries_, it);
        break;
      }
    }
    entries_.push_front({std::move(key), std::move(list), bytes});
    bytes_ += bytes;
    while (entries_.size() > kMaxCatalogueLists || bytes_ > kMaxCatalogueBytes) {
      bytes_ -= entries_.back().bytes;
      dropped.splice(dropped.end(), entries_, std::prev(entries_.end()));
    }
  }

 private:
  struct Entry {
    std::string key;
    std::shared_ptr<const CatalogueList> list;
    size_t bytes;
  };
  std::mutex mutex_;
  std::list<Entry> entries_;  // GUARDED_BY(mutex_)
  size_t bytes_ = 0;          // GUARDED_BY(mutex_)
};

ListCache& Lists() {
  static ListCache* cache = new ListCache();  // never destroyed: used until exit
  return *cache;
}

}  // namespace

std::string WithQuery(std::string link, const std::string& query) {
  if (!query.empty()) {
    link.push_back('&');
    link.append(query);
  }
  return link;
}

std::shared_ptr<const CatalogueList> CatalogueListOf(const StoredReports& reports,
                                                     const CatalogueView& view) {
  std::string key = KeyOf(reports, view);
  std::shared_ptr<const CatalogueList> list = Lists().Find(key);
  if (!list) {
    list = std::make_shared<const CatalogueList>(DrawList(reports, view));
    Lists().Keep(std::move(key), list);
  }
  return list;
}

}  // namespace fennick::designer
