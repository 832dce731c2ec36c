// The sealed row count a grid's form carries, and the rules for reusing it.
#include "grid/query/row_count_reuse.h"

#include <charconv>
#include <chrono>
#include <vector>

#include "fennick/page.h"
#include "frame/refuse_request.h"
#include "grid/grid_object.h"
#include "platform/crypto/seal.h"

namespace fennick {
namespace {

// The parts of a token, in order.
enum Part { kRows, kCountedAt, kSession, kPage, kScope, kQuery, kPageSize, kParts };

// A token made by another server of the same secret may come from a clock
// a little ahead: it is reused, not refused, within this margin.
constexpr int64_t kClockSkewSeconds = 5;

int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool ParseWhole(const std::string& text, int64_t& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

// The session a token is bound to when the page seals it: the page's own,
// if it had one before the grid wrote its fields. A transient session has
// no cookie, so no later request could name it again.
std::string SealingSession(const GridObject& g) {
  const Session* session = g.host.session;
  if (session == nullptr || session->Transient()) return std::string();
  return session->KnownID();
}

// The connection and the command as the page set it.
std::string Scope(const GridObject& g) {
  return TextDigest({g.page->connection_string, g.result.page_command});
}

[[noreturn]] void RefuseMovedCount(const GridObject& g) {
  RefuseRequest(*g.host.response, "400 Bad Request", "The form is not valid.");
}

}  // namespace

std::optional<int64_t> CarriedRowCount(GridObject& g, const std::string& counted_sql) {
  RowCountState& state = g.result.row_count_state;
  const std::string& token = g.req.posted_row_count;
  if (state.spent || token.empty() || !g.designer.carries_row_count) return std::nullopt;
  std::optional<std::vector<std::string>> parts;
  try {
    parts = OpenSealedParts(SealPurpose::kRowCount, token, kParts);
  } catch (const Error&) {
    // Without a server secret no token of this server can be posted back.
  }
  if (!parts) RefuseMovedCount(g);
  const std::vector<std::string>& t = *parts;
  int64_t rows = 0, counted_at = 0, page_size = 0;
  if (!ParseWhole(t[kRows], rows) || rows < 0 || !ParseWhole(t[kCountedAt], counted_at) ||
      !ParseWhole(t[kPageSize], page_size) || t[kPage] != g.host.page_url) {
    RefuseMovedCount(g);
  }
  if (!t[kSession].empty()) {
    const Session* session = g.host.session;
    if (session == nullptr || session->ExistingID() != t[kSession]) RefuseMovedCount(g);
  }
  const std::string query = TextDigest({counted_sql});
  const int64_t now = NowSeconds();
  const int64_t lifetime = g.settings.row_count_lifetime;
  if (g.req.reload || t[kScope] != Scope(g) || t[kQuery] != query ||
      page_size != g.page->page_size || lifetime <= 0 ||
      now - counted_at > lifetime || counted_at > now + kClockSkewSeconds) {
    return std::nullopt;
  }
  state = RowCountState{true, true, false, rows, counted_at, query};
  return rows;
}

int64_t NoteCountedRows(GridObject& g, const std::string& counted_sql, int64_t rows) {
  RowCountState& state = g.result.row_count_state;
  state = RowCountState{true, false, state.spent, rows, NowSeconds(), TextDigest({counted_sql})};
  return rows;
}

int64_t CarriedCountProbe(const GridObject& g, int64_t offset, int64_t expected) {
  const RowCountState& state = g.result.row_count_state;
  return state.carried && expected > 0 && offset + expected >= state.rows ? 1 : 0;
}

bool CarriedCountDisproved(GridObject& g, int64_t fetched, int64_t expected) {
  RowCountState& state = g.result.row_count_state;
  if (!state.carried || fetched == expected) return false;
  state.carried = false;
  state.spent = true;
  return true;
}

std::string SealedRowCount(const GridObject& g) {
  const RowCountState& state = g.result.row_count_state;
  if (!state.known || !g.result.paged || !g.designer.carries_row_count) return std::string();
  const std::string rows = std::to_string(state.rows);
  const std::string counted_at = std::to_string(state.counted_at);
  const std::string page_size = std::to_string(g.page->page_size);
  return SealParts(SealPurpose::kRowCount,
                   {rows, counted_at, SealingSession(g), g.host.page_url, Scope(g), state.query,
                    page_size});
}

}  // namespace fennick
