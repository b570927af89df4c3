#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <sys/types.h>

namespace testing_support {

// A mail as the SMTP sink received it.
struct ReceivedMail {
  std::string raw;       // the bytes of the message, as received
  std::string envelope;  // "MAIL FROM <addr>\nRCPT TO <addr>\nLOGIN [<user> <mechanism>]\n"
  // The main headers (From, To, Subject, Message-ID, MIME-Version, Content-Type,
  // Content-Transfer-Encoding) as a mail reader decodes them, and "Date-Epoch": the Date
  // header in seconds since 1970.
  std::map<std::string, std::string> headers;
  std::string html;  // the body, decoded, without the line end that closes the mail
};

// A real SMTP server on 127.0.0.1, or on another address of this machine, (aiosmtpd under the
// system Python) for the object's life,
// keeping every mail it accepts. Login is optional; PLAIN, LOGIN and CRAM-MD5 logins succeed
// for kUser with kPassword on the plain connection and fail with 535 otherwise. The
// recipient "rejected@sink.test" is refused with 550.
class SmtpSink {
 public:
  static constexpr const char* kUser = "alerts";
  static constexpr const char* kPassword = "s3cret pass";

  // Starts the server on `address` and waits (up to 10 s) until it listens; throws
  // std::runtime_error when it does not.
  explicit SmtpSink(const std::string& address = "127.0.0.1");
  ~SmtpSink();
  SmtpSink(const SmtpSink&) = delete;
  SmtpSink& operator=(const SmtpSink&) = delete;

  int port() const { return port_; }
  // How many mails the server has accepted. A mail counts, complete, before the server
  // confirms it to the sender, so after a successful send it is already here.
  size_t MailCount() const;
  // How many logins clients have tried, successful or not: each one had a password sent.
  size_t LoginAttempts() const;
  // The newest mail; throws std::runtime_error when there is none.
  ReceivedMail LastMail() const;

 private:
  void Stop();

  std::filesystem::path directory_;
  pid_t pid_ = 0;
  int input_ = -1;  // the server's standard input; closing it stops the server
  int port_ = 0;
};

}  // namespace testing_support
