#include "platform/ado/SqlScanner.h"

#include <cctype>
#include <string_view>

#include "platform/automation/Text.h"

namespace ado {

namespace {

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)); }

}  // namespace

bool SqlToken::IsWord(std::string_view lower_case_word) const {
  return kind == Kind::kWord && automation::EqualsIgnoringCase(text, lower_case_word);
}

SqlToken SqlScanner::Next() {
  using Kind = SqlToken::Kind;
  const size_t start = at_;
  if (start >= sql_.size()) return {Kind::kEnd, {}};
  const char c = sql_[start];
  const std::string_view rest = sql_.substr(start);
  Kind kind = Kind::kSymbol;
  size_t end = start + 1;
  if (c == '\'') {
    kind = Kind::kText;
    end = QuotedEnd(start, '\'', false);
  } else if (c == '"') {
    kind = Kind::kQuotedName;
    end = QuotedEnd(start, '"', false);
  } else if (rest.starts_with("--")) {
    kind = Kind::kComment;
    end = sql_.find('\n', start);
    if (end == std::string_view::npos) end = sql_.size();
  } else if (rest.starts_with("/*")) {
    kind = Kind::kComment;
    end = BlockCommentEnd(start);
  } else if (c == '$' && DollarTagLength(start) > 0) {
    kind = Kind::kText;
    const std::string_view tag = sql_.substr(start, DollarTagLength(start));
    end = sql_.find(tag, start + tag.size());
    end = end == std::string_view::npos ? sql_.size() : end + tag.size();
  } else if (IsWordChar(c)) {
    kind = Kind::kWord;
    while (end < sql_.size() && IsWordChar(sql_[end])) ++end;
    // E'...': a text in which a backslash escapes the next character.
    if (end == start + 1 && (c == 'E' || c == 'e') && end < sql_.size() && sql_[end] == '\'') {
      kind = Kind::kText;
      end = QuotedEnd(end, '\'', true);
    }
  } else if (c == '?') {
    kind = Kind::kPlaceholder;
  } else if (IsBlank(c)) {
    kind = Kind::kBlank;
    while (end < sql_.size() && IsBlank(sql_[end])) ++end;
  }
  at_ = end;
  return {kind, sql_.substr(start, end - start)};
}

// Past the closing quote of the quoted text or name opening at `start`; a doubled quote stays
// inside.
size_t SqlScanner::QuotedEnd(size_t start, char quote, bool backslash_escapes) const {
  size_t i = start + 1;
  while (i < sql_.size()) {
    const char c = sql_[i++];
    if (backslash_escapes && c == '\\' && i < sql_.size()) {
      ++i;
    } else if (c == quote) {
      if (i < sql_.size() && sql_[i] == quote) {
        ++i;
      } else {
        return i;
      }
    }
  }
  return sql_.size();
}

size_t SqlScanner::BlockCommentEnd(size_t start) const {
  size_t i = start;
  int depth = 0;
  while (i < sql_.size()) {
    if (sql_.compare(i, 2, "/*") == 0) {
      ++depth;
      i += 2;
    } else if (sql_.compare(i, 2, "*/") == 0) {
      i += 2;
      if (--depth == 0) return i;
    } else {
      ++i;
    }
  }
  return sql_.size();
}

// The length of a dollar-quote tag ("$$" or "$name$") at `at`, or 0 when there is none ($1).
size_t SqlScanner::DollarTagLength(size_t at) const {
  size_t i = at + 1;
  while (i < sql_.size() && (std::isalnum(static_cast<unsigned char>(sql_[i])) || sql_[i] == '_')) {
    if (i == at + 1 && std::isdigit(static_cast<unsigned char>(sql_[i]))) return 0;
    ++i;
  }
  return i < sql_.size() && sql_[i] == '$' ? i - at + 1 : 0;
}

}  // namespace ado
