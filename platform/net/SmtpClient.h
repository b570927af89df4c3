#pragma once

#include <string>
#include <string_view>

#include "platform/net/HttpClient.h"

namespace net {

// Where mail goes and how to log in there. `host` is a name or an address, an IPv6 address
// without brackets. `implicit_tls` speaks TLS from the first byte (the smtps:// form of the
// address, port 465 by default) instead of asking for STARTTLS. `auth_method` is "None" (no login),
// "CRAM-MD5", "User/Password" (PLAIN or LOGIN), or anything else for the best method both sides
// know; compared without case.
struct SmtpServer {
  std::string host;
  int port = 25;
  bool implicit_tls = false;
  std::string auth_method = "None";
  std::string user;
  std::string password;
  TransferLimits limits;
};

// Reads a server address as the user types it: "host", "host:port", "[::1]:2525", "[::1]" or
// a bare IPv6 address, each perhaps written "smtps://..." for implicit TLS. The port defaults
// to 25, or 465 with smtps://; the other members keep their defaults.
// Throws automation::Error with err::kInvalidArgument, naming the text, when the host is
// empty or holds characters no host name has, or the port is not a number from 1 to 65535.
SmtpServer ParseServerAddress(const std::string& text);

// One HTML mail to one recipient. `from` and `to` are an address ("a@b.example") or a name
// with an address ("Alerts <a@b.example>"); the envelope uses the address.
struct MailMessage {
  std::string from;
  std::string to;
  std::string subject;
  std::string html;
};

// Sends `message` through `server` and returns when the server has accepted it. Uses
// STARTTLS when the server offers it (and then insists on a certificate the system trusts)
// and plain SMTP when it does not; logs in when the server's auth_method is not "None".
// A password goes only over TLS: with a login to a server that offers no STARTTLS the mail
// is not sent, unless every address of the host is a loopback address (a relay on this
// machine), where a plain login is allowed. The connection then goes to those addresses only.
//
// Throws automation::Error with err::kInvalidArgument, before connecting, when from, to or
// the subject holds a line break or NUL (they would forge headers or commands), when from or
// to is empty, or when the host or port is unusable. Throws err::kNetwork when the transfer
// fails (refused connection, time limit, failed login, rejected sender or recipient, a login
// that TLS cannot protect); the message names host:port and the server's last answer.
void SendMail(const SmtpServer& server, const MailMessage& message);

// True when `address` is a numeric IPv4 address in 127.0.0.0/8, or the IPv6 address ::1 (or
// ::ffff:127.x.y.z). Names, "localhost" included, are not addresses: false.
bool IsLoopbackAddress(std::string_view address);

// The mail text SendMail sends for `message`: headers and the quoted-printable HTML body,
// with CRLF line ends. The Date header uses the local time zone.
std::string ComposeMessage(const MailMessage& message);

// `text` in quoted-printable: lines of at most 76 characters joined by soft breaks ("=" CRLF),
// "=", controls, bytes of 0x80 or more and white space before a line end as "=XX", and each
// LF or CRLF of the text as one CRLF.
std::string QuotedPrintable(std::string_view text);

}  // namespace net
