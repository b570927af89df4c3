#pragma once

#include <cstddef>
#include <string_view>

namespace ado {

// One piece of statement text, exactly as written: quotes, comment marks and all.
struct SqlToken {
  enum class Kind {
    kWord,         // letters, digits, '_' and '$': a keyword, a name, a number, $1
    kQuotedName,   // "..." with "" inside
    kText,         // '...' with '' inside, E'...' with backslash escapes, $tag$...$tag$
    kComment,      // -- to the end of the line, or /* ... */
    kPlaceholder,  // ?
    kBlank,        // a run of white space
    kSymbol,       // any other single character
    kEnd,          // nothing more
  };
  Kind kind = Kind::kEnd;
  std::string_view text;

  // A word that is `lower_case_word` in any case.
  bool IsWord(std::string_view lower_case_word) const;
  bool IsSymbol(char c) const { return kind == Kind::kSymbol && text.size() == 1 && text[0] == c; }
};

// Splits statement text into tokens that, put back together, give the text unchanged, so
// that whoever rewrites a statement or reads what it does sees comments and quoted text the
// same way: a `?` or a keyword inside them is neither placeholder nor keyword. Block comments
// nest, as PostgreSQL nests them; a quote or comment that is not closed runs to the end of
// the text. The text is borrowed and must outlive the scanner and its tokens.
class SqlScanner {
 public:
  explicit SqlScanner(std::string_view sql) : sql_(sql) {}
  SqlToken Next();

 private:
  size_t QuotedEnd(size_t start, char quote, bool backslash_escapes) const;
  size_t BlockCommentEnd(size_t start) const;
  size_t DollarTagLength(size_t at) const;

  std::string_view sql_;
  size_t at_ = 0;
};

}  // namespace ado
