#include "platform/net/SmtpClient.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <random>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <vector>

#include <fmt/format.h>

#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/net/CurlHandle.h"

namespace net {

namespace {

using detail::CurlHandle;
using detail::CurlList;

constexpr int kDefaultPort = 25;
constexpr int kDefaultImplicitTlsPort = 465;
constexpr std::string_view kImplicitTlsScheme = "smtps://";
constexpr char kCrlf[] = "\r\n";
// Longest run of text on one quoted-printable line, leaving room for the "=" of a soft
// break within the 76 characters a line may have.
constexpr std::size_t kQuotedPrintableLine = 75;
// Bytes of text per encoded word: 39 bytes are 52 base64 characters, 64 with the "=?UTF-8?B?"
// and "?=" around them, so even the first word, after "Subject: ", keeps its line within 76.
constexpr std::size_t kEncodedWordBytes = 39;

[[noreturn]] void ThrowInvalid(const std::string& detail) {
  throw automation::Error::WithDetail(automation::err::kInvalidArgument, detail);
}

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A host goes into the transfer URL, so only what a host name or an IP address can hold is
// let through: nothing that could add a path, a user or another port.
bool IsPlausibleHost(std::string_view host) {
  if (host.empty()) return false;
  if (host.find(':') != std::string_view::npos) {
    return std::all_of(host.begin(), host.end(),
                       [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; });
  }
  return std::all_of(host.begin(), host.end(),
                     [](char c) { return IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_'; });
}

std::string HostAndPort(const std::string& host, int port) {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

int ParsePort(std::string_view port_text, const std::string& address) {
  int port = 0;
  const bool digits =
      !port_text.empty() && port_text.size() <= 5 &&
      std::all_of(port_text.begin(), port_text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits) {
    for (const char c : port_text) port = port * 10 + (c - '0');
  }
  if (!digits || port < 1 || port > 65535) {
    ThrowInvalid("SMTP server \"" + address + "\": the port \"" + std::string(port_text) +
                 "\" is not a number from 1 to 65535");
  }
  return port;
}

// The address the envelope uses: what stands between < and > when there are brackets,
// else the whole text.
std::string EnvelopeAddress(std::string_view text) {
  const size_t open = text.rfind('<');
  const size_t close = text.rfind('>');
  if (open != std::string_view::npos && close != std::string_view::npos && open < close) {
    return std::string(automation::TrimBlanks(text.substr(open + 1, close - open - 1)));
  }
  return std::string(automation::TrimBlanks(text));
}

// A line break would end the header and let the text forge others (or SMTP commands, in
// an envelope address); a NUL cuts the text short on many servers.
void CheckHeaderText(std::string_view what, const std::string& text) {
  const size_t bad = text.find_first_of(std::string_view("\r\n\0", 3));
  if (bad != std::string::npos) {
    ThrowInvalid("the mail's " + std::string(what) + " holds a line break or NUL after \"" +
                 text.substr(0, bad) + "\"");
  }
}

void CheckMessage(const MailMessage& message) {
  CheckHeaderText("sender", message.from);
  CheckHeaderText("recipient", message.to);
  CheckHeaderText("subject", message.subject);
  if (EnvelopeAddress(message.from).empty()) ThrowInvalid("the mail has no sender address");
  if (EnvelopeAddress(message.to).empty()) ThrowInvalid("the mail has no recipient address");
}

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n = uint32_t(uint8_t(bytes[i])) << 16 | uint32_t(uint8_t(bytes[i + 1])) << 8 |
                       uint8_t(bytes[i + 2]);
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i < bytes.size()) {
    uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    out += kAlphabet[n >> 18];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool IsPlainAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c >= 0x20 && c < 0x7F;
  });
}

// Header text outside plain ASCII as a run of base64 encoded words, folded onto continuation
// lines. A word never splits a UTF-8 character, so each decodes on its own.
std::string EncodedWords(std::string_view text) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = std::min(text.size(), start + kEncodedWordBytes);
    while (end < text.size() && end > start + 1 && (uint8_t(text[end]) & 0xC0) == 0x80) --end;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(text.substr(start, end - start)) + "?=";
    start = end;
  }
  return out;
}

// A mail line may not pass 998 characters; a subject far longer than anyone types is
// folded through encoded words like a non-ASCII one.
std::string SubjectHeader(std::string_view subject) {
  constexpr size_t kLongestPlainSubject = 900;
  if (IsPlainAscii(subject) && subject.size() <= kLongestPlainSubject) {
    return std::string(subject);
  }
  return EncodedWords(subject);
}

// "Name <address>" with a name outside ASCII gets the name encoded; the address itself
// cannot be, and goes as it is.
std::string AddressHeader(std::string_view text) {
  text = automation::TrimBlanks(text);
  const size_t open = text.rfind('<');
  if (IsPlainAscii(text) || open == std::string_view::npos || open == 0) return std::string(text);
  std::string_view name = automation::TrimBlanks(text.substr(0, open));
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
    name = name.substr(1, name.size() - 2);
  }
  return EncodedWords(name) + " " + std::string(text.substr(open));
}

std::string DateHeader() {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const long offset_minutes = local.tm_gmtoff / 60;
  const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
  // Names spelled out here, not by strftime: the process locale may be German.
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return text;
}

std::string MessageId(const std::string& sender) {
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::string domain = "kestrova.localdomain";
  const size_t at = sender.rfind('@');
  if (at != std::string::npos) {
    const std::string candidate = sender.substr(at + 1);
    if (!candidate.empty() && candidate.find(':') == std::string::npos &&
        IsPlausibleHost(candidate)) {
      domain = candidate;
    }
  }
  char unique[48];
  std::snprintf(unique, sizeof unique, "%llx.%016llx",
                static_cast<unsigned long long>(std::time(nullptr)),
                static_cast<unsigned long long>(random()));
  return fmt::format("<{}@{}>", unique, domain);
}

struct Upload {
  std::string_view text;
  size_t sent = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
  Upload& upload = *static_cast<Upload*>(user);
  const size_t length = std::min(size * count, upload.text.size() - upload.sent);
  upload.text.copy(buffer, length, upload.sent);
  upload.sent += length;
  return length;
}

// libcurl shows the server's answers through the debug stream. The last refusal (4xx or 5xx)
// is the reason when a step fails ("550 5.1.1 no such user"); a failure with no refusal,
// such as a time limit, is explained by the last answer of any kind.
struct ServerAnswers {
  std::string last;
  std::string last_refusal;
};

int KeepServerAnswer(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  std::string_view line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.empty()) return 0;
  try {
    ServerAnswers& answers = *static_cast<ServerAnswers*>(user);
    answers.last.assign(line);
    if (line.front() == '4' || line.front() == '5') answers.last_refusal.assign(line);
  } catch (...) {
    // The answers only serve the message; the transfer goes on without them.
  }
  return 0;
}

std::string LoginOptions(const std::string& auth_method) {
  if (automation::EqualsIgnoringCase(auth_method, "CRAM-MD5")) return "AUTH=CRAM-MD5";
  if (automation::EqualsIgnoringCase(auth_method, "User/Password")) return "AUTH=PLAIN;AUTH=LOGIN";
  return "AUTH=*";
}

bool WantsLogin(const std::string& auth_method) {
  const std::string_view method = automation::TrimBlanks(auth_method);
  return !method.empty() && !automation::EqualsIgnoringCase(method, "None");
}

struct AddrInfoDeleter {
  void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// The numeric addresses `host` stands for, each once; empty when it does not resolve.
std::vector<std::string> ResolvedAddresses(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* raw = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &raw) != 0) return {};
  const std::unique_ptr<addrinfo, AddrInfoDeleter> found(raw);
  std::vector<std::string> addresses;
  for (const addrinfo* a = found.get(); a != nullptr; a = a->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* bytes = nullptr;
    if (a->ai_family == AF_INET) {
      bytes = &reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr;
    } else if (a->ai_family == AF_INET6) {
      bytes = &reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr;
    }
    if (bytes == nullptr || inet_ntop(a->ai_family, bytes, text, sizeof text) == nullptr) continue;
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) {
      addresses.emplace_back(text);
    }
  }
  return addresses;
}

// How a login may travel to `server`. A plain login is allowed only to this machine: when
// the host is a loopback address, or a name whose every address is one. For a name, the
// transfer is then held to the addresses checked here (`pinned`, for CURLOPT_RESOLVE), so a
// second lookup cannot lead it elsewhere.
struct LoginRoute {
  bool plain_allowed = false;
  std::string pinned;  // "host:port:addr,addr", or empty
};

LoginRoute RouteForLogin(const SmtpServer& server) {
  LoginRoute route;
  if (IsLoopbackAddress(server.host)) {
    route.plain_allowed = true;
    return route;
  }
  in6_addr numeric{};
  if (inet_pton(AF_INET, server.host.c_str(), &numeric) == 1 ||
      inet_pton(AF_INET6, server.host.c_str(), &numeric) == 1) {
    return route;  // an address, and not a loopback one
  }
  const std::vector<std::string> addresses = ResolvedAddresses(server.host);
  if (addresses.empty() ||
      !std::all_of(addresses.begin(), addresses.end(),
                   [](const std::string& a) { return IsLoopbackAddress(a); })) {
    return route;
  }
  route.plain_allowed = true;
  route.pinned = server.host + ":" + std::to_string(server.port) + ":";
  for (size_t i = 0; i < addresses.size(); ++i) {
    const bool ipv6 = addresses[i].find(':') != std::string::npos;
    route.pinned += (i > 0 ? "," : "") + (ipv6 ? "[" + addresses[i] + "]" : addresses[i]);
  }
  return route;
}

}  // namespace

bool IsLoopbackAddress(std::string_view address) {
  const std::string text(address);
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    return (ntohl(v4.s_addr) >> 24) == 127;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

SmtpServer ParseServerAddress(const std::string& text) {
  std::string_view address = automation::TrimBlanks(text);
  bool implicit_tls = false;
  if (address.size() >= kImplicitTlsScheme.size() &&
      automation::EqualsIgnoringCase(address.substr(0, kImplicitTlsScheme.size()),
                                     kImplicitTlsScheme)) {
    implicit_tls = true;
    address.remove_prefix(kImplicitTlsScheme.size());
  }
  std::string_view host = address;
  int port = implicit_tls ? kDefaultImplicitTlsPort : kDefaultPort;
  if (!address.empty() && address.front() == '[') {
    const size_t close = address.find(']');
    if (close == std::string_view::npos) {
      ThrowInvalid("SMTP server \"" + text + "\": the address lacks its closing ']'");
    }
    host = address.substr(1, close - 1);
    const std::string_view rest = address.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') {
        ThrowInvalid("SMTP server \"" + text + "\": \"" + std::string(rest) +
                     "\" after the address is not a port");
      }
      port = ParsePort(rest.substr(1), text);
    }
  } else if (std::count(address.begin(), address.end(), ':') == 1) {
    const size_t colon = address.find(':');
    host = address.substr(0, colon);
    port = ParsePort(address.substr(colon + 1), text);
  }  // else a name alone, or, with several colons and no brackets, an IPv6 address alone
  if (host.empty()) ThrowInvalid("SMTP server \"" + text + "\" has no host name");
  if (!IsPlausibleHost(host)) {
    ThrowInvalid("SMTP server \"" + text + "\": \"" + std::string(host) +
                 "\" is not a host name or an IP address");
  }
  SmtpServer server;
  server.host = std::string(host);
  server.port = port;
  server.implicit_tls = implicit_tls;
  return server;
}

std::string QuotedPrintable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  size_t line_length = 0;
  auto at_line_end = [&](size_t i) {
    return i >= text.size() || text[i] == '\n' ||
           (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      out += kCrlf;
      line_length = 0;
      continue;
    }
    const bool blank = c == ' ' || c == '\t';
    bool literal = (c >= 33 && c <= 126 && c != '=') || (blank && !at_line_end(i + 1));
    const size_t width = literal ? 1 : 3;
    if (line_length + width > kQuotedPrintableLine) {
      out += "=";
      out += kCrlf;
      line_length = 0;
    }
    // A lone "." at the start of a line ends the mail on some servers; keep it off.
    if (line_length == 0 && c == '.') literal = false;
    if (literal) {
      out += static_cast<char>(c);
      line_length += 1;
    } else {
      out += '=';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
      line_length += 3;
    }
  }
  return out;
}

std::string ComposeMessage(const MailMessage& message) {
  CheckMessage(message);
  std::string mail;
  mail.reserve(message.html.size() * 11 / 10 + 512);
  auto header = [&mail](std::string_view name, const std::string& value) {
    mail.append(name).append(": ").append(value).append(kCrlf);
  };
  header("Date", DateHeader());
  header("From", AddressHeader(message.from));
  header("To", AddressHeader(message.to));
  header("Subject", SubjectHeader(message.subject));
  header("Message-ID", MessageId(EnvelopeAddress(message.from)));
  header("MIME-Version", "1.0");
  header("Content-Type", "text/html; charset=utf-8");
  header("Content-Transfer-Encoding", "quoted-printable");
  mail += kCrlf;
  mail += QuotedPrintable(message.html);
  if (mail.size() < 2 || mail.compare(mail.size() - 2, 2, kCrlf) != 0) mail += kCrlf;
  return mail;
}

void SendMail(const SmtpServer& server, const MailMessage& message) {
  if (!IsPlausibleHost(server.host)) {
    ThrowInvalid("\"" + server.host + "\" is not a host name or an IP address");
  }
  if (server.port < 1 || server.port > 65535) {
    ThrowInvalid("SMTP port " + std::to_string(server.port) + " is not from 1 to 65535");
  }
  const std::string mail = ComposeMessage(message);
  const std::string where = HostAndPort(server.host, server.port);
  const TransferLimits limits = detail::BoundedLimits(server.limits);

  const CurlHandle handle = detail::NewCurlHandle("mail to " + where);
  CURL* h = handle.get();
  const bool login = WantsLogin(server.auth_method);
  // Without TLS from the start, a login needs STARTTLS, unless the server is this machine.
  const LoginRoute route = login && !server.implicit_tls ? RouteForLogin(server) : LoginRoute{};
  const bool require_starttls = login && !server.implicit_tls && !route.plain_allowed;
  CurlList pinned;
  if (!route.pinned.empty()) detail::AppendLine(pinned, route.pinned);
  const std::string url = (server.implicit_tls ? "smtps://" : "smtp://") + where;
  const std::string sender = fmt::format("<{}>", EnvelopeAddress(message.from));
  CurlList recipients;
  detail::AppendLine(recipients, fmt::format("<{}>", EnvelopeAddress(message.to)));
  const std::string login_options = LoginOptions(server.auth_method);
  Upload upload{mail};
  ServerAnswers answers;
  char error_buffer[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, server.implicit_tls ? "smtps" : "smtp");
  if (pinned) curl_easy_setopt(h, CURLOPT_RESOLVE, pinned.get());
  curl_easy_setopt(h, CURLOPT_MAIL_FROM, sender.c_str());
  curl_easy_setopt(h, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(h, CURLOPT_USE_SSL,
                   static_cast<long>(require_starttls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
  if (login) {
    curl_easy_setopt(h, CURLOPT_USERNAME, server.user.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, server.password.c_str());
    curl_easy_setopt(h, CURLOPT_LOGIN_OPTIONS, login_options.c_str());
  }
  curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(h, CURLOPT_READFUNCTION, &ReadUpload);
  curl_easy_setopt(h, CURLOPT_READDATA, &upload);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits.connect_timeout_ms);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits.total_timeout_ms);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  // The debug stream is how the server's answers reach us; nothing goes to stderr.
  curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &KeepServerAnswer);
  curl_easy_setopt(h, CURLOPT_DEBUGDATA, &answers);
  curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);

  const CURLcode code = curl_easy_perform(h);
  if (code == CURLE_USE_SSL_FAILED && require_starttls) {
    throw automation::Error::WithDetail(
        automation::err::kNetwork,
        "the SMTP server " + where +
            " offers no STARTTLS, and the password is sent only over TLS: use a server "
            "that offers it, or write the server as smtps://host[:port] for TLS from the start");
  }
  if (code != CURLE_OK) {
    std::string detail = curl_easy_strerror(code);
    if (error_buffer[0] != '\0') detail += std::string(" (") + error_buffer + ")";
    detail += " sending mail through " + where;
    const std::string& reason = answers.last_refusal.empty() ? answers.last : answers.last_refusal;
    if (!reason.empty()) detail += "; the server said \"" + reason + "\"";
    throw automation::Error::WithDetail(automation::err::kNetwork, detail);
  }
}

}  // namespace net
