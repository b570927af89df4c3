#include "platform/net/HttpClient.h"

#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "platform/automation/Error.h"
#include "platform/net/CurlHandle.h"

namespace net {

namespace {

using detail::CurlHandle;
using detail::CurlText;
using detail::CurlUrl;

// A quote list or a page is a few kilobytes; a body this large means a wrong URL or a
// misbehaving server, and holding it would only exhaust memory.
constexpr std::size_t kMaxBodyBytes = 64u << 20;
constexpr long kMaxRedirects = 5;

struct Body {
  std::string text;
  bool too_large = false;
  bool out_of_memory = false;
};

// libcurl is C: nothing may be thrown through it, so failures are noted and the transfer
// is stopped by answering with a short count.
size_t AppendToBody(char* data, size_t size, size_t count, void* user) {
  Body& body = *static_cast<Body*>(user);
  const size_t length = size * count;
  if (length > kMaxBodyBytes - body.text.size()) {
    body.too_large = true;
    return 0;
  }
  try {
    body.text.append(data, length);
  } catch (const std::bad_alloc&) {
    body.out_of_memory = true;
    return 0;
  }
  return length;
}

// The URL as it may appear in a message: without a password, should it carry one.
std::string UrlForMessages(const std::string& url) {
  CurlUrl parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    return url;
  }
  if (!detail::UrlPart(parsed, CURLUPART_PASSWORD)) return url;
  if (curl_url_set(parsed.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK) {
    return "(a URL with a password)";
  }
  const CurlText without_password = detail::UrlPart(parsed, CURLUPART_URL);
  return without_password ? without_password.get() : "(a URL with a password)";
}

[[noreturn]] void ThrowTransferError(const std::string& detail) {
  throw automation::Error::WithDetail(automation::err::kNetwork, detail);
}

std::string Reason(CURLcode code, const char* error_buffer) {
  std::string reason = curl_easy_strerror(code);
  if (error_buffer[0] != '\0') {
    std::string_view detail(error_buffer);
    while (!detail.empty() && (detail.back() == '\n' || detail.back() == '\r')) {
      detail.remove_suffix(1);
    }
    reason += " (";
    reason += detail;
    reason += ")";
  }
  return reason;
}

// The handle outlives a call of Get, so the pointers into the call's frame that a transfer
// needs (the error buffer, the body) are taken off it when the call ends, however it ends.
class PointersIntoCall {
 public:
  explicit PointersIntoCall(CURL* handle) : handle_(handle) {}
  PointersIntoCall(const PointersIntoCall&) = delete;
  PointersIntoCall& operator=(const PointersIntoCall&) = delete;
  ~PointersIntoCall() {
    curl_easy_setopt(handle_, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(handle_, CURLOPT_WRITEDATA, nullptr);
  }

 private:
  CURL* handle_;
};

bool IsUrlSafe(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  constexpr std::string_view kKept = "-._~+,/:;=?&@!$'()*[]";
  return kKept.find(static_cast<char>(c)) != std::string_view::npos;
}

}  // namespace

namespace detail {

TransferLimits BoundedLimits(const TransferLimits& limits) {
  const TransferLimits defaults;
  TransferLimits bounded = limits;
  if (bounded.connect_timeout_ms <= 0) bounded.connect_timeout_ms = defaults.connect_timeout_ms;
  if (bounded.total_timeout_ms <= 0) bounded.total_timeout_ms = defaults.total_timeout_ms;
  return bounded;
}

}  // namespace detail

std::string HttpGet(const std::string& url, const TransferLimits& limits) {
  return HttpClient().Get(url, limits);
}

struct HttpClient::Handle {
  CurlHandle curl;
};

HttpClient::HttpClient() : handle_(std::make_unique<Handle>(Handle{detail::NewCurlHandle()})) {}

HttpClient::~HttpClient() = default;
HttpClient::HttpClient(HttpClient&&) noexcept = default;

std::string HttpClient::Get(const std::string& url, const TransferLimits& limits) {
  const TransferLimits bounded = detail::BoundedLimits(limits);
  CURL* h = handle_->curl.get();

  char error_buffer[CURL_ERROR_SIZE] = {};
  Body body;
  const PointersIntoCall pointers(h);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer);
  if (curl_easy_setopt(h, CURLOPT_URL, url.c_str()) != CURLE_OK) {
    ThrowTransferError("unusable URL " + UrlForMessages(url));
  }
  // Only the web: a redirect must not lead to a local file or another protocol.
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, bounded.connect_timeout_ms);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, bounded.total_timeout_ms);
  // Time limits by signal would disturb the other threads of the web server.
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBodyBytes));
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Kestrova/0.1");
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendToBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);

  const CURLcode code = curl_easy_perform(h);
  if (body.too_large || code == CURLE_FILESIZE_EXCEEDED) {
    ThrowTransferError("the response from " + UrlForMessages(url) + " is larger than " +
                       std::to_string(kMaxBodyBytes >> 20) + " MiB");
  }
  if (body.out_of_memory) throw std::bad_alloc();
  if (code != CURLE_OK) {
    ThrowTransferError(Reason(code, error_buffer) + " fetching " + UrlForMessages(url));
  }
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (status >= 400) {
    ThrowTransferError("HTTP " + std::to_string(status) + " from " + UrlForMessages(url));
  }
  return std::move(body.text);
}

std::string EscapeUnsafeUrlCharacters(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsUrlSafe(c)) {
      escaped += ch;
    } else {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 0x0F];
    }
  }
  return escaped;
}

}  // namespace net
