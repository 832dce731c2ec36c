// A delivery's mail as RFC 5322 text: a multipart/mixed message with a
// short HTML body and the report's export attached.
//
// Every header is built from checked values: addresses have passed
// CheckAddress (no line breaks, no display names), the subject is encoded
// as RFC 2047 words when it is not plain ASCII and loses any control
// character, and the attachment's file name is reduced to safe ASCII.
// Lines end in CRLF; the body and attachment are Base64, so no line of
// the message is longer than 78 characters. Pure value code; thread-safe.
#ifndef FENNICK_DELIVERY_MAIL_MESSAGE_H_
#define FENNICK_DELIVERY_MAIL_MESSAGE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fennick::delivery {

struct MailAttachment {
  std::string file_name;     // shown to the reader; made safe when written
  std::string content_type;  // "text/csv"
  std::string content;
};

struct MailMessage {
  std::string from;
  std::vector<std::string> to;
  std::string subject;
  std::string html_body;  // a whole HTML document, UTF-8
  MailAttachment attachment;
  int64_t date = 0;        // Unix seconds, for the Date header
  std::string message_id;  // "<...@...>"; "" for none
};

// The subject as a header value: ASCII text as it is, anything else as
// "=?UTF-8?B?...?=" words of at most 75 characters, folded onto
// continuation lines; control characters (CR and LF included) dropped.
std::string EncodeSubject(std::string_view subject);

// Base64 of `data` in lines of 76 characters, each ending in CRLF.
std::string Base64Lines(std::string_view data);

// The whole message, ready for SMTP's DATA.
std::string BuildMessage(const MailMessage& mail);


}  // namespace fennick::delivery

#endif  // FENNICK_DELIVERY_MAIL_MESSAGE_H_
