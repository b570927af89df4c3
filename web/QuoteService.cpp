#include "web/QuoteService.h"

#include <httplib.h>

#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/Text.h"

namespace web {

namespace {

std::string Unquoted(std::string text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

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

std::string QuoteBook::AnswerLine(const std::string& symbol) const {
  auto it = lines_.find(automation::UpperCase(symbol));
  if (it != lines_.end()) return it->second;
  return Quoted(symbol) + ",N/A,\"N/A\",\"N/A\",N/A,N/A,N/A,N/A,N/A,N/A";
}

std::string QuotesCsvAnswer(const QuoteBook& book, const std::string& symbols) {
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

void AddQuoteService(httplib::Server& server, std::shared_ptr<const QuoteBook> book) {
  // Answers are small and clients keep their connection: without this, every answer waits
  // for the client's delayed acknowledgement of the headers.
  server.set_tcp_nodelay(true);
  server.Get("/d/quotes.csv", [book](const httplib::Request& request, httplib::Response& response) {
    response.set_content(QuotesCsvAnswer(*book, request.get_param_value("s")), "text/csv");
  });
}

}  // namespace web
