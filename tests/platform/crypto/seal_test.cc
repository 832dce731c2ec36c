// Sealing: round trips, tampering, foreign secrets, purposes, the key file.
#include "platform/crypto/seal.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fennick/error.h"

namespace fennick {
namespace {

TEST(SealTest, RoundTripsAndRefusesTamperedOrForeignTokens) {
  Sealer a(Sealer::KeyFromSecret("shared secret"));
  Sealer b(Sealer::KeyFromSecret("another secret"));
  Sealer a2(Sealer::KeyFromSecret("shared secret"));

  const std::string sql = "SELECT * FROM Orders WHERE Name = 'O''Brien'; -- é";
  const SealPurpose sort = SealPurpose::kSortDefault;
  std::string token = a.Seal(sort, sql);
  EXPECT_EQ(token.find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);
  EXPECT_EQ(a.Open(sort, token), sql);
  EXPECT_EQ(a2.Open(sort, token), sql);  // another server with the same secret
  EXPECT_NE(a.Seal(sort, sql), token);   // fresh nonce every time
  EXPECT_EQ(a.Open(sort, a.Seal(sort, "")), "");

  EXPECT_FALSE(b.Open(sort, token));
  EXPECT_FALSE(a.Open(sort, ""));
  EXPECT_FALSE(a.Open(sort, "not a token!"));
  EXPECT_FALSE(a.Open(sort, token.substr(0, 10)));
  for (size_t i = 0; i < token.size(); i += 7) {
    std::string flipped = token;
    flipped[i] = flipped[i] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(a.Open(sort, flipped)) << "position " << i;
  }
}

TEST(SealTest, TokenOpensOnlyForThePurposeItWasSealedFor) {
  const Sealer a(Sealer::KeyFromSecret("shared secret"));
  const SealPurpose purposes[] = {SealPurpose::kSortDefault,     SealPurpose::kSortRequired,
                                  SealPurpose::kFieldDownload,   SealPurpose::kDesignerAction,
                                  SealPurpose::kReportPassword,  SealPurpose::kReportStatement,
                                  SealPurpose::kReportReference, SealPurpose::kReportEdit};
  for (SealPurpose sealed_for : purposes) {
    const std::string token = a.Seal(sealed_for, "Provider=SQLite;Data Source=data/demo.db");
    for (SealPurpose opened_as : purposes) {
      EXPECT_EQ(a.Open(opened_as, token).has_value(), sealed_for == opened_as)
          << SealPurposeName(sealed_for) << " opened as " << SealPurposeName(opened_as);
    }
  }
  // Names are distinct, so no two purposes share their tokens.
  EXPECT_NE(SealPurposeName(SealPurpose::kSortDefault),
            SealPurposeName(SealPurpose::kSortRequired));
  EXPECT_NE(SealPurposeName(SealPurpose::kSortRequired),
            SealPurposeName(SealPurpose::kFieldDownload));
}

TEST(SealTest, PartsComeBackSeparateAndOnlyAllTogether) {
  InstallSealer(Sealer::KeyFromSecret("parts"));
  const SealPurpose download = SealPurpose::kFieldDownload;
  // Texts that look like the packing itself stay whole.
  const std::string tricky = "3:abc5:x;y=z";
  const std::string token = SealParts(download, {"SELECT 1", tricky, "", "7"});
  EXPECT_EQ(OpenSealedParts(download, token, 4),
            (std::vector<std::string>{"SELECT 1", tricky, "", "7"}));
  EXPECT_FALSE(OpenSealedParts(download, token, 3));
  EXPECT_FALSE(OpenSealedParts(download, token, 5));
  EXPECT_FALSE(OpenSealedParts(SealPurpose::kSortDefault, token, 4));
  EXPECT_EQ(OpenSealedParts(download, SealParts(download, {}), 0), std::vector<std::string>{});

  // A single sealed text of the same purpose is not a packing of parts
  // unless it happens to be written as one.
  EXPECT_FALSE(OpenSealedParts(download, SealText(download, "SELECT 1"), 1));
  EXPECT_FALSE(OpenSealedParts(download, SealText(download, "9:short"), 1));
  EXPECT_FALSE(OpenSealedParts(download, SealText(download, "-1:x"), 1));
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

TEST(SealTest, SecretsCompareWhole) {
  EXPECT_TRUE(SecretsEqual("s3cret", "s3cret"));
  EXPECT_TRUE(SecretsEqual("", ""));
  EXPECT_FALSE(SecretsEqual("s3cret", "S3CRET"));
  EXPECT_FALSE(SecretsEqual("s3cret", "s3cre"));
  EXPECT_FALSE(SecretsEqual("s3cret", "s3cret "));
  EXPECT_FALSE(SecretsEqual("", "s3cret"));
  EXPECT_FALSE(SecretsEqual(std::string("a\0b", 3), "a"));
}

TEST(SealTest, ProcessSealerSealsForPages) {
  InstallSealer(Sealer::KeyFromSecret("process"));
  std::string token = SealText(SealPurpose::kSortRequired, "Name DESC");
  EXPECT_EQ(OpenSealed(SealPurpose::kSortRequired, token), "Name DESC");
  EXPECT_FALSE(OpenSealed(SealPurpose::kSortRequired, token + "x"));
  EXPECT_FALSE(OpenSealed(SealPurpose::kSortDefault, token));
}

}  // namespace
}  // namespace fennick
