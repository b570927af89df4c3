// The quote object's reading of a quote service answer. The object is the real one; only its
// HTTP client is replaced, by one that answers every request with the fuzzer's input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "library/Quote.h"
#include "platform/automation/Error.h"
#include "platform/net/HttpClient.h"

namespace {
std::string_view g_answer;
}  // namespace

namespace net {
struct HttpClient::Handle {};
HttpClient::HttpClient() = default;
HttpClient::~HttpClient() = default;
HttpClient::HttpClient(HttpClient&&) noexcept = default;
std::string HttpClient::Get(const std::string&, const TransferLimits&) {
  return std::string(g_answer);
}
std::string EscapeUnsafeUrlCharacters(std::string_view text) { return std::string(text); }
}  // namespace net

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_answer = std::string_view(reinterpret_cast<const char*>(data), size);
  thalmere::Quote quote;
  try {
    quote.SetSymbol("MSFT+IBM");
  } catch (const automation::Error&) {
    return 0;  // two lines for one symbol: a documented error
  }
  for (int steps = 0; !quote.EOF_() && steps < 100000; ++steps) {
    (void)quote.Symbol();
    (void)quote.TradeDate();
    (void)(quote.LastPrice() + quote.PriceChange() + quote.Volume());
    quote.MoveNext();
  }
  return 0;
}
