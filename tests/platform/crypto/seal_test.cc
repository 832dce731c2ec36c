// Sealing: round trips, tampering, foreign secrets, the key file.
#include "platform/crypto/seal.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "fennick/error.h"

namespace fennick {
namespace {

TEST(SealTest, RoundTripsAndRefusesTamperedOrForeignTokens) {
  Sealer a(Sealer::KeyFromSecret("shared secret"));
  Sealer b(Sealer::KeyFromSecret("another secret"));
  Sealer a2(Sealer::KeyFromSecret("shared secret"));

  const std::string sql = "SELECT * FROM Orders WHERE Name = 'O''Brien'; -- é";
  std::string token = a.Seal(sql);
  EXPECT_EQ(token.find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);
  EXPECT_EQ(a.Open(token), sql);
  EXPECT_EQ(a2.Open(token), sql);  // another server with the same secret
  EXPECT_NE(a.Seal(sql), token);   // fresh nonce every time
  EXPECT_EQ(a.Open(a.Seal("")), "");

  EXPECT_FALSE(b.Open(token));
  EXPECT_FALSE(a.Open(""));
  EXPECT_FALSE(a.Open("not a token!"));
  EXPECT_FALSE(a.Open(token.substr(0, 10)));
  for (size_t i = 0; i < token.size(); i += 7) {
    std::string flipped = token;
    flipped[i] = flipped[i] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(a.Open(flipped)) << "position " << i;
  }
}

TEST(SealTest, ServerKeyComesFromTheEnvironmentOrAPrivateKeyFile) {
  std::string templ = (std::filesystem::temp_directory_path() / "fennick-key-XXXXXX").string();
  std::filesystem::path dir = mkdtemp(templ.data());
  unsetenv("FENNICK_SECRET");
  Sealer::Key first = Sealer::LoadServerKey(dir / "data");
  struct stat st {};
  ASSERT_EQ(stat((dir / "data" / "fennick.key").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Sealer::LoadServerKey(dir / "data"), first);  // reused, not replaced

  setenv("FENNICK_SECRET", "from env", 1);
  EXPECT_EQ(Sealer::LoadServerKey(dir / "data"), Sealer::KeyFromSecret("from env"));
  unsetenv("FENNICK_SECRET");

  std::filesystem::path bad = dir / "bad";
  std::filesystem::create_directories(bad);
  { std::ofstream(bad / "fennick.key") << "garbage"; }
  EXPECT_THROW(Sealer::LoadServerKey(bad), Error);
  std::filesystem::remove_all(dir);
}

TEST(SealTest, ProcessSealerSealsForPages) {
  InstallSealer(Sealer::KeyFromSecret("process"));
  std::string token = SealText("Provider=SQLite;Data Source=data/demo.db");
  EXPECT_EQ(OpenSealed(token), "Provider=SQLite;Data Source=data/demo.db");
  EXPECT_FALSE(OpenSealed(token + "x"));
}

}  // namespace
}  // namespace fennick
