#include "platform/ado/SqlScanner.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ado/Dialect.h"

namespace ado {
namespace {

// The tokens of a text as "kind:text", blanks left out.
std::vector<std::string> Tokens(std::string_view sql) {
  static const char* const kKinds[] = {"word", "name", "text", "comment", "?", "blank", "symbol"};
  std::vector<std::string> tokens;
  std::string joined;
  SqlScanner scanner(sql);
  for (SqlToken t = scanner.Next(); t.kind != SqlToken::Kind::kEnd; t = scanner.Next()) {
    joined += t.text;
    if (t.kind == SqlToken::Kind::kBlank) continue;
    tokens.push_back(std::string(kKinds[static_cast<int>(t.kind)]) + ":" + std::string(t.text));
  }
  EXPECT_EQ(joined, sql) << "the tokens must give the text back";
  return tokens;
}

TEST(SqlScannerTest, CommentsAndQuotedTextHoldNoPlaceholdersOrWords) {
  struct Case {
    std::string sql;
    std::vector<std::string> tokens;
  };
  for (const Case& c : {
           Case{"select a, ? from t",
                {"word:select", "word:a", "symbol:,", "?:?", "word:from", "word:t"}},
           Case{"x -- a ? 'b\n?", {"word:x", "comment:-- a ? 'b", "?:?"}},
           Case{"x -- to the end ?", {"word:x", "comment:-- to the end ?"}},
           Case{"/* a ? */ ?", {"comment:/* a ? */", "?:?"}},
           Case{"/* a /* nested ? */ still */ ?", {"comment:/* a /* nested ? */ still */", "?:?"}},
           Case{"/* never closed ?", {"comment:/* never closed ?"}},
           Case{"'it''s ?' ?", {"text:'it''s ?'", "?:?"}},
           Case{"'-- no comment' /", {"text:'-- no comment'", "symbol:/"}},
           Case{"\"odd \"\"?\"\" col\" from", {"name:\"odd \"\"?\"\" col\"", "word:from"}},
           Case{"\"/* name */\"", {"name:\"/* name */\""}},
           Case{"E'\\'?' e'\\\\' ?", {"text:E'\\'?'", "text:e'\\\\'", "?:?"}},
           Case{"be'x'", {"word:be", "text:'x'"}},
           Case{"$$ a ? $$ $tag$ ' $$ $tag$ ?", {"text:$$ a ? $$", "text:$tag$ ' $$ $tag$", "?:?"}},
           Case{"$1 a$b", {"word:$1", "word:a$b"}},
           Case{"'unterminated ?", {"text:'unterminated ?"}},
           Case{"a.b;", {"word:a", "symbol:.", "word:b", "symbol:;"}},
       }) {
    EXPECT_EQ(Tokens(c.sql), c.tokens) << c.sql;
  }
}

TEST(SqlScannerTest, WordsMatchInAnyCase) {
  SqlScanner scanner("SeLeCt 'select'");
  const SqlToken word = scanner.Next();
  EXPECT_TRUE(word.IsWord("select"));
  EXPECT_FALSE(word.IsWord("selec"));
  scanner.Next();
  EXPECT_FALSE(scanner.Next().IsWord("select"));  // a text, not a word
}

}  // namespace
}  // namespace ado
