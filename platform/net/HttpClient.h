#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace net {

// How long a transfer may take. Every transfer ends within these limits; a value that is not
// positive means the default, never "wait forever".
struct TransferLimits {
  long connect_timeout_ms = 10000;  // to establish the connection (DNS included)
  long total_timeout_ms = 30000;    // for the whole transfer, connection included
};

// Fetches `url` (http or https) with a blocking GET and returns the whole body, which is
// empty when the server sent an empty body. Follows up to 5 redirects. Safe to call from
// several threads at once.
//
// Throws automation::Error with err::kNetwork when the transfer fails: the connection is
// refused, the name does not resolve, a time limit is reached, the server answers with an
// HTTP status of 400 or more, or the body exceeds 64 MiB. The message names the URL and the
// reason ("HTTP 404 from http://...", "Timeout was reached ...").
std::string HttpGet(const std::string& url, const TransferLimits& limits = {});

// A client that keeps one transfer handle for its life, so that repeated requests to one
// server reuse the open connection. Get behaves as HttpGet. One client serves one thread at
// a time.
class HttpClient {
 public:
  HttpClient();
  ~HttpClient();
  HttpClient(HttpClient&&) noexcept;
  std::string Get(const std::string& url, const TransferLimits& limits = {});

 private:
  struct Handle;  // owns the libcurl handle
  std::unique_ptr<Handle> handle_;
};

// Percent-escapes ("%20") the bytes of `text` that are unsafe in a URL: controls, space,
// " < > \ ^ ` { | } % #, and every byte of 0x80 or more. Letters, digits and
// - . _ ~ + , / : ; = ? & @ ! $ ' ( ) * [ ] are kept, so a query such as
// "s=MSFT+IBM,T&f=sl1" keeps its separators.
std::string EscapeUnsafeUrlCharacters(std::string_view text);

namespace detail {
// `limits` with every value that is not positive replaced by its default.
TransferLimits BoundedLimits(const TransferLimits& limits);
}  // namespace detail

}  // namespace net
