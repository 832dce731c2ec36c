#include "delivery/mail_message.h"
#include "support/fold-designer_text.h"

#include <gtest/gtest.h>

namespace fennick::delivery {
namespace {

TEST(MailMessageTest, SubjectsAreEncodedFoldedAndCannotAddHeaders) {
  struct Case {
    std::string subject, header;
  } cases[] = {
      {"Weekly orders", "Weekly orders"},
      // Line breaks never reach the header: no "Bcc:" line can be made.
      {"Orders\r\nBcc: x@evil.example", "OrdersBcc: x@evil.example"},
      {"=?UTF-8?B?x?=", "=?UTF-8?B?PT9VVEYtOD9CP3g/PQ==?="},
      {"été", "=?UTF-8?B?w6l0w6k=?="},
  };
  for (const Case& c : cases) EXPECT_EQ(EncodeSubject(c.subject), c.header);

  // A long subject is folded into words that each hold whole characters.
  std::string long_subject;
  for (int i = 0; i < 40; ++i) long_subject += "Ü";
  const std::string folded = EncodeSubject(long_subject);
  EXPECT_EQ(folded,
            "=?UTF-8?B?w5zDnMOcw5zDnMOcw5zDnMOcw5zDnMOcw5zDnMOcw5zDnMOcw5w=?=\r\n"
            " =?UTF-8?B?w5zDnMOcw5zDnMOcw5zDnMOcw5zDnMOcw5zDnMOcw5zDnMOcw5w=?=\r\n"
            " =?UTF-8?B?w5zDnA==?=");
}

TEST(MailMessageTest, MessageLinesStayShortAndEndInCrLf) {
  MailMessage mail;
  mail.from = "reports@example.com";
  mail.to = {"a@example.com", "b@example.com"};
  mail.subject = std::string(120, 'x');
  mail.html_body = "<p>" + std::string(500, 'y') + "</p>";
  mail.attachment = {"../Orders: 2026/Q1.csv", "text/csv; charset=UTF-8", std::string(1000, 'z')};
  mail.date = 1767571200;
  const std::string text = BuildMessage(mail);
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "a line without CRLF";
    EXPECT_LE(end - start, 78u) << text.substr(start, end - start);
    EXPECT_EQ(text.substr(start, end - start).find('\n'), std::string::npos);
    start = end + 2;
  }
  EXPECT_HAS(text, "\r\nDate: Mon, 05 Jan 2026 00:00:00 +0000\r\n");
  EXPECT_HAS(text, "To: a@example.com,\r\n b@example.com\r\n");
  // The file name loses its folders and punctuation.
  EXPECT_HAS(text, "filename=\"_Orders__2026_Q1.csv\"");
}

}  // namespace
}  // namespace fennick::delivery
