#include "module/service_calls/sql_text.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"

namespace labdocs {
namespace {

TEST(SqlTextTest, QuotesAreDoubledAndDoubleByteTextStaysWhole) {
  EXPECT_EQ(QuoteEscaped("O'Brien"), "O''Brien");
  EXPECT_EQ(QuoteEscaped("''"), "''''");
  EXPECT_EQ(Quoted("x' or '1'='1"), "'x'' or ''1''=''1'");
  // 淺 and 禱 end in the byte 0x5C; no quote byte hides inside GBK text.
  EXPECT_EQ(Quoted("淺'禱"), "'淺''禱'");
  EXPECT_EQ(Quoted(""), "''");
}

TEST(SqlTextTest, BareValuesMustBeIntegers) {
  EXPECT_EQ(BareInteger("17"), "17");
  EXPECT_EQ(BareInteger(" -1 "), "-1");
  EXPECT_EQ(BareInteger("+5"), "5");
  EXPECT_EQ(BareInteger("007"), "7");
  for (const char* bad :
       {"", " ", "abc", "1 or 1=1", "1;delete from RIS_DOC", "1.5", "+-5", "--1", "0x10", "99999999999999999999"})
    EXPECT_THROW(BareInteger(bad), rt::EConvertError) << bad;
}

}  // namespace
}  // namespace labdocs
