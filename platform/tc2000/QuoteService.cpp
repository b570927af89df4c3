#include "platform/tc2000/QuoteService.h"

#include <cctype>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <httplib.h>

#include "platform/automation/DateCode.h"
#include "platform/automation/Error.h"
#include "platform/automation/Text.h"
#include "platform/tc2000/PriceStore.h"

namespace tc2000 {

namespace {

std::string Unquoted(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A symbol of the request as it may be echoed in an answer line: control characters (a line
// feed would start a line of its own) as %XX, the way they came in the address.
std::string EchoedSymbol(const std::string& symbol) {
  std::string echoed;
  for (const char c : symbol) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      echoed += fmt::format("%{:02X}", byte);
    } else {
      echoed += c;
    }
  }
  return echoed;
}

}  // namespace

QuoteBook QuoteBook::FromFile(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) {
    throw automation::Error(automation::err::kInvalidArgument,
                            "cannot read the quotes file " + file.string());
  }
  QuoteBook book;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#' || automation::UpperCase(line.substr(0, 6)) == "SYMBOL")
      continue;
    const std::vector<std::string> f = automation::SplitAt(line, ',');
    if (f.size() != 10) {
      throw automation::Error(automation::err::kInvalidArgument,
                              file.string() + ":" + std::to_string(number) + ": " +
                                  std::to_string(f.size()) + " fields, a quote has 10");
    }
    book.Set(Unquoted(f[0]), f[1], Unquoted(f[2]), Unquoted(f[3]), f[4], f[5], f[6], f[7], f[8],
             f[9]);
  }
  return book;
}

void QuoteBook::Set(const std::string& symbol, const std::string& last, const std::string& date,
                    const std::string& time, const std::string& change, const std::string& previous,
                    const std::string& open, const std::string& high, const std::string& low,
                    const std::string& volume) {
  lines_[automation::UpperCase(symbol)] =
      Quoted(automation::UpperCase(symbol)) + "," + last + "," + Quoted(date) + "," + Quoted(time) +
      "," + change + "," + previous + "," + open + "," + high + "," + low + "," + volume;
}

std::string UnknownQuoteLine(const std::string& symbol) {
  return Quoted(EchoedSymbol(symbol)) + ",N/A,\"N/A\",\"N/A\",N/A,N/A,N/A,N/A,N/A,N/A";
}

std::string QuoteBook::AnswerLine(const std::string& symbol) const {
  auto it = lines_.find(automation::UpperCase(symbol));
  if (it != lines_.end()) return it->second;
  return UnknownQuoteLine(symbol);
}

// Stores are single connections: each request borrows one, and a new one is opened when
// all are in use.
struct PriceStoreQuotes::Pool {
  std::mutex mutex;
  std::vector<std::unique_ptr<PriceStore>> idle;
};

PriceStoreQuotes::PriceStoreQuotes(std::filesystem::path store)
    : store_(std::move(store)), pool_(std::make_unique<Pool>()) {}

PriceStoreQuotes::~PriceStoreQuotes() = default;

namespace {

// A price as quote services write it: at most four decimals, no trailing zeros.
std::string PriceText(double value) {
  std::string text = fmt::format("{:.4f}", value);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  if (text == "-0") text = "0";
  return text;
}

}  // namespace

std::string PriceStoreQuotes::AnswerLine(const std::string& symbol) const {
  std::unique_ptr<PriceStore> store;
  {
    std::lock_guard lock(pool_->mutex);
    if (!pool_->idle.empty()) {
      store = std::move(pool_->idle.back());
      pool_->idle.pop_back();
    }
  }
  try {
    if (!store || !store->IsCurrent()) store = PriceStore::OpenForReading(store_);
  } catch (const automation::Error&) {
    return UnknownQuoteLine(symbol);
  }
  std::vector<Bar> bars;
  if (const int32_t worden = store->WordenNumFromSymbol(symbol))
    bars = store->LatestBars(worden, 2);
  {
    std::lock_guard lock(pool_->mutex);
    pool_->idle.push_back(std::move(store));
  }
  if (bars.empty()) return UnknownQuoteLine(symbol);
  const Bar& last = bars[0];
  const double previous = bars.size() > 1 ? bars[1].close : last.close;
  const automation::DateCode day(last.date);
  const std::string date = fmt::format("{}/{}/{}", day.Month(), day.Day(), day.Year());
  return Quoted(EchoedSymbol(automation::UpperCase(automation::TrimBlanks(symbol)))) + "," +
         PriceText(last.close) + "," + Quoted(date) + ",\"4:00pm\"," +
         PriceText(double{last.close} - previous) + "," + PriceText(previous) + "," +
         PriceText(last.open) + "," + PriceText(last.high) + "," + PriceText(last.low) + "," +
         std::to_string(last.volume);
}

std::string QuotesCsvAnswer(const QuoteSource& book, const std::string& symbols) {
  std::string answer;
  std::string symbol;
  auto flush = [&] {
    if (!symbol.empty()) answer += book.AnswerLine(symbol) + "\n";
    symbol.clear();
  };
  for (char c : symbols) {
    if (c == '+' || c == ',' || c == ' ') {
      flush();
    } else {
      symbol += c;
    }
  }
  flush();
  return answer;
}

void AddQuoteService(httplib::Server& server, std::shared_ptr<const QuoteSource> book) {
  // Answers are small and clients keep their connection: without this, every answer waits
  // for the client's delayed acknowledgement of the headers.
  server.set_tcp_nodelay(true);
  server.Get("/d/quotes.csv", [book](const httplib::Request& request, httplib::Response& response) {
    response.set_content(QuotesCsvAnswer(*book, request.get_param_value("s")), "text/csv");
  });
}

}  // namespace tc2000
