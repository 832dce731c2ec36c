// Client address and scheme behind trusted proxies: forged, malformed and
// oversized forwarded headers never let a client choose its own address.
#include "platform/web/forwarded.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fennick {
namespace {

TEST(ForwardedTest, AddressesAreNormalisedAndNothingElseIsOne) {
  EXPECT_EQ(NormalizeAddress("10.0.0.1"), "10.0.0.1");
  EXPECT_EQ(NormalizeAddress(" 10.0.0.1 "), "10.0.0.1");
  EXPECT_EQ(NormalizeAddress("::ffff:127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(NormalizeAddress("[2001:DB8:0:0::1]"), "2001:db8::1");
  for (const char* bad : {"", "localhost", "10.0.0.1:80", "[::1]:80", "10.0.0", "1.2.3.4.5",
                          "<script>", "10.0.0.1\r\nX-Evil: 1", "unknown", "_hidden"}) {
    EXPECT_EQ(NormalizeAddress(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(NormalizeAddress(std::string(100000, '1')), std::nullopt);

  TrustedProxies trusted;
  std::string bad;
  EXPECT_TRUE(trusted.Parse("127.0.0.1, ::1,10.1.2.3", &bad));
  EXPECT_TRUE(trusted.Contains("::ffff:127.0.0.1"));
  EXPECT_TRUE(trusted.Contains("0:0:0:0:0:0:0:1"));
  EXPECT_FALSE(trusted.Contains("10.1.2.4"));
  TrustedProxies wrong;
  EXPECT_FALSE(wrong.Parse("127.0.0.1,nginx.local", &bad));
  EXPECT_EQ(bad, "nginx.local");
}

class ResolveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string bad;
    ASSERT_TRUE(trusted_.Parse("127.0.0.1,10.0.0.2", &bad));
  }
  ClientOrigin Resolve(const char* peer, std::vector<std::string> xff,
                       std::vector<std::string> proto = {}) {
    return ResolveClientOrigin(peer, false, xff, proto, trusted_);
  }
  TrustedProxies trusted_;
};

TEST_F(ResolveTest, ForwardedHeadersCountOnlyFromATrustedPeer) {
  // A client talking to the server directly cannot claim another address
  // or https.
  ClientOrigin direct = Resolve("203.0.113.9", {"198.51.100.1"}, {"https"});
  EXPECT_EQ(direct.address, "203.0.113.9");
  EXPECT_FALSE(direct.https);

  ClientOrigin proxied = Resolve("127.0.0.1", {"198.51.100.1"}, {"https"});
  EXPECT_EQ(proxied.address, "198.51.100.1");
  EXPECT_TRUE(proxied.https);

  // Behind a trusted proxy without the headers, the proxy is the client.
  EXPECT_EQ(Resolve("::ffff:127.0.0.1", {}).address, "127.0.0.1");
}

TEST_F(ResolveTest, TheClientIsTheRightMostHopNoTrustedProxyVouchesFor) {
  // The client wrote "1.1.1.1" itself; nginx appended the address it saw.
  EXPECT_EQ(Resolve("127.0.0.1", {"1.1.1.1, 198.51.100.7"}).address, "198.51.100.7");
  // Two proxies: the inner one (10.0.0.2) is trusted and skipped.
  EXPECT_EQ(Resolve("127.0.0.1", {"1.1.1.1, 198.51.100.7, 10.0.0.2"}).address, "198.51.100.7");
  // Several headers are one list.
  EXPECT_EQ(Resolve("127.0.0.1", {"1.1.1.1", "198.51.100.8"}).address, "198.51.100.8");
  // Only trusted proxies in the chain: the first of them.
  EXPECT_EQ(Resolve("127.0.0.1", {"10.0.0.2"}).address, "10.0.0.2");
}

TEST_F(ResolveTest, GarbageWhereItMattersLeavesThePeer) {
  EXPECT_EQ(Resolve("127.0.0.1", {"1.1.1.1, <script>alert(1)</script>"}).address, "127.0.0.1");
  EXPECT_EQ(Resolve("127.0.0.1", {"198.51.100.7:4444"}).address, "127.0.0.1");
  EXPECT_EQ(Resolve("127.0.0.1", {""}).address, "127.0.0.1");
  EXPECT_EQ(Resolve("127.0.0.1", {std::string(60000, 'a')}).address, "127.0.0.1");
  // Garbage to the left of the deciding hop was written by the client and
  // changes nothing.
  EXPECT_EQ(Resolve("127.0.0.1", {"not an address, 198.51.100.7"}).address, "198.51.100.7");
  // An absurd chain is not walked at all.
  std::string chain;
  for (int i = 0; i < 1000; ++i) chain += "10.0.0.2,";
  chain += "198.51.100.7";
  EXPECT_EQ(Resolve("127.0.0.1", {chain}).address, "127.0.0.1");

  // The scheme: exactly one http or https, else the connection's own.
  EXPECT_TRUE(Resolve("127.0.0.1", {}, {" HTTPS "}).https);
  EXPECT_FALSE(Resolve("127.0.0.1", {}, {"https, http"}).https);
  EXPECT_FALSE(Resolve("127.0.0.1", {}, {"https", "https"}).https);
  EXPECT_FALSE(Resolve("127.0.0.1", {}, {"javascript"}).https);
}

}  // namespace
}  // namespace fennick
