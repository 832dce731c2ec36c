// Who a request really comes from when the server sits behind a proxy.
//
// A proxy (nginx) connects on behalf of the client and says who the client
// is in X-Forwarded-For and how it came in X-Forwarded-Proto. Anybody can
// send those headers, so they only count when the connection itself comes
// from a proxy the operator listed; from anyone else they are ignored and
// the peer of the socket is the client.
#ifndef FENNICK_PLATFORM_WEB_FORWARDED_H_
#define FENNICK_PLATFORM_WEB_FORWARDED_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fennick {

// The canonical numeric text of an IPv4 or IPv6 address ("10.0.0.1",
// "2001:db8::1"); an IPv4 address mapped into IPv6 ("::ffff:10.0.0.1") is
// its IPv4 form, and "[::1]" is "::1". nullopt for anything else, host
// names and addresses with a port included.
std::optional<std::string> NormalizeAddress(std::string_view text);

// Proxies whose forwarded headers are believed. Not thread-safe to change;
// const use is.
class TrustedProxies {
 public:
  TrustedProxies() = default;
  // Parses "ADDR[,ADDR...]"; false (and fills bad with the offending entry)
  // when an entry is not an address.
  bool Parse(std::string_view list, std::string* bad);
  void Add(std::string normalized) { addresses_.push_back(std::move(normalized)); }
  // Whether `address` (any spelling NormalizeAddress accepts) is listed.
  bool Contains(std::string_view address) const;
  bool empty() const { return addresses_.empty(); }
  const std::vector<std::string>& addresses() const { return addresses_; }

 private:
  std::vector<std::string> addresses_;  // normalised
};

struct ClientOrigin {
  std::string address;  // REMOTE_ADDR
  bool https = false;
};

// The client of a request whose socket peer is `peer`. Only when the peer
// is a trusted proxy: the client is the right-most X-Forwarded-For entry
// that is not itself a trusted proxy (entries further left were written by
// whoever the client is, and prove nothing), and the scheme is
// X-Forwarded-Proto when it is exactly one "http" or "https". A forwarded
// chain that is malformed where it matters (the deciding entry is not an
// address, the chain is absurdly long) leaves the peer as the client.
// `forwarded_for` and `forwarded_proto` are every value of those headers,
// in order.
ClientOrigin ResolveClientOrigin(std::string_view peer, bool peer_https,
                                 const std::vector<std::string>& forwarded_for,
                                 const std::vector<std::string>& forwarded_proto,
                                 const TrustedProxies& trusted);

}  // namespace fennick

#endif  // FENNICK_PLATFORM_WEB_FORWARDED_H_
