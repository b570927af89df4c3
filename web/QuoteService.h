#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace web {

// The quotes the local quote service answers with, one answer line per symbol in the CSV
// layout of the field list "sl1d1t1c1pohgv": "SYM",last,"date","time",change,previous,open,
// high,low,volume.
class QuoteBook {
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

  // The answer line of a symbol; for an unknown one, the symbol in double quotes and N/A in
  // every other field, as quote services answer.
  std::string AnswerLine(const std::string& symbol) const;
  size_t size() const { return lines_.size(); }

 private:
  std::map<std::string, std::string> lines_;  // upper-case symbol -> line
};

// The whole answer to a request's symbol text: the symbols separated by "+", "," or blanks,
// one line each, each ending in a line feed.
std::string QuotesCsvAnswer(const QuoteBook& book, const std::string& symbols);

// Serves GET /d/quotes.csv?s=<symbols>&f=...&e=.csv from the book.
void AddQuoteService(httplib::Server& server, std::shared_ptr<const QuoteBook> book);

}  // namespace web
