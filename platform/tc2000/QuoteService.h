#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace tc2000 {

// Where the local quote service takes its answers from: one answer line per symbol in the
// CSV layout of the field list "sl1d1t1c1pohgv": "SYM",last,"date","time",change,previous,
// open,high,low,volume. An unknown symbol gets the symbol in double quotes and N/A in every
// other field, as quote services answer; a symbol echoed from the request has its control
// characters written as %XX, so the line stays one line. Safe to call from several threads.
class QuoteSource {
 public:
  virtual ~QuoteSource() = default;
  virtual std::string AnswerLine(const std::string& symbol) const = 0;
};

// The line of a symbol that has no quote.
std::string UnknownQuoteLine(const std::string& symbol);

// The quotes of a file, for tests and for a machine without price data.
class QuoteBook : public QuoteSource {
 public:
  // Reads a file of such lines (the symbol with or without double quotes; blank lines, lines
  // starting with '#' and a header line starting with "symbol" are passed over). A line
  // without ten fields is an automation::Error naming the file and line.
  static QuoteBook FromFile(const std::filesystem::path& file);

  // Adds or replaces the quote of a symbol (matched without regard to case).
  void Set(const std::string& symbol, const std::string& last, const std::string& date,
           const std::string& time, const std::string& change, const std::string& previous,
           const std::string& open, const std::string& high, const std::string& low,
           const std::string& volume);

  std::string AnswerLine(const std::string& symbol) const override;
  size_t size() const { return lines_.size(); }

 private:
  std::map<std::string, std::string> lines_;  // upper-case symbol -> line
};

// The quotes of the price store: last = the latest close, with its date (M/D/YYYY) and the
// time "4:00pm"; the change from and the previous close; open, high, low and volume of the
// latest bar. A symbol the store does not know, or one without bars, is unknown; a store
// that cannot be opened knows no symbol.
class PriceStoreQuotes : public QuoteSource {
 public:
  explicit PriceStoreQuotes(std::filesystem::path store);
  ~PriceStoreQuotes() override;
  std::string AnswerLine(const std::string& symbol) const override;

 private:
  struct Pool;
  std::filesystem::path store_;
  std::unique_ptr<Pool> pool_;
};

// The whole answer to a request's symbol text: the symbols separated by "+", "," or blanks,
// one line each, each ending in a line feed.
std::string QuotesCsvAnswer(const QuoteSource& source, const std::string& symbols);

// Serves GET /d/quotes.csv?s=<symbols>&f=...&e=.csv from the source.
void AddQuoteService(httplib::Server& server, std::shared_ptr<const QuoteSource> source);

}  // namespace tc2000
