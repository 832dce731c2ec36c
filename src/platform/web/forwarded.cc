// Client address and scheme behind trusted proxies.
#include "platform/web/forwarded.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>

#include "base/ascii.h"

namespace fennick {
namespace {

// A chain longer than this is not a real path through proxies; it is
// ignored rather than walked.
constexpr size_t kMaxHops = 32;

}  // namespace

std::optional<std::string> NormalizeAddress(std::string_view text) {
  text = TrimBlanks(text);
  if (text.size() > 2 && text.front() == '[' && text.back() == ']')
    text = text.substr(1, text.size() - 2);
  // INET6_ADDRSTRLEN is the longest address text; longer is never one.
  if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
  const std::string copy(text);
  char out[INET6_ADDRSTRLEN];
  in_addr v4{};
  if (inet_pton(AF_INET, copy.c_str(), &v4) == 1) {
    return std::string(inet_ntop(AF_INET, &v4, out, sizeof out));
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, copy.c_str(), &v6) != 1) return std::nullopt;
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    std::memcpy(&v4, &v6.s6_addr[12], 4);
    return std::string(inet_ntop(AF_INET, &v4, out, sizeof out));
  }
  return std::string(inet_ntop(AF_INET6, &v6, out, sizeof out));
}

bool TrustedProxies::Parse(std::string_view list, std::string* bad) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t comma = list.find(',', start);
    if (comma == std::string_view::npos) comma = list.size();
    std::string_view entry = TrimBlanks(list.substr(start, comma - start));
    std::optional<std::string> address = NormalizeAddress(entry);
    if (!address) {
      if (bad) *bad = std::string(entry);
      return false;
    }
    addresses_.push_back(std::move(*address));
    start = comma + 1;
  }
  return true;
}

bool TrustedProxies::Contains(std::string_view address) const {
  if (addresses_.empty()) return false;
  std::optional<std::string> normalized = NormalizeAddress(address);
  return normalized &&
         std::find(addresses_.begin(), addresses_.end(), *normalized) != addresses_.end();
}

ClientOrigin ResolveClientOrigin(std::string_view peer, bool peer_https,
                                 const std::vector<std::string>& forwarded_for,
                                 const std::vector<std::string>& forwarded_proto,
                                 const TrustedProxies& trusted) {
  ClientOrigin origin{NormalizeAddress(peer).value_or(std::string(peer)), peer_https};
  if (!trusted.Contains(peer)) return origin;

  // Several X-Forwarded-For headers are one list, in order.
  std::vector<std::string_view> hops;
  for (const std::string& header : forwarded_for) {
    size_t start = 0;
    while (start <= header.size()) {
      size_t comma = header.find(',', start);
      if (comma == std::string::npos) comma = header.size();
      hops.push_back(std::string_view(header).substr(start, comma - start));
      if (hops.size() > kMaxHops) return origin;
      start = comma + 1;
    }
  }
  // From the right: each trusted proxy vouches for the hop before it; the
  // first hop no trusted proxy vouches for is the client.
  std::optional<std::string> client;
  for (auto it = hops.rbegin(); it != hops.rend(); ++it) {
    std::optional<std::string> hop = NormalizeAddress(*it);
    if (!hop) return origin;  // the deciding entry is garbage
    client = hop;
    if (!trusted.Contains(*hop)) break;
  }
  if (client) origin.address = *client;

  if (forwarded_proto.size() == 1) {
    std::string_view proto = TrimBlanks(forwarded_proto[0]);
    if (EqualsIgnoreCase(proto, "https")) {
      origin.https = true;
    } else if (EqualsIgnoreCase(proto, "http")) {
      origin.https = false;
    }
  }
  return origin;
}

}  // namespace fennick
