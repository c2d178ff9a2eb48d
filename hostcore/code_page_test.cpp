#include "hostcore/code_page.h"

#include <gtest/gtest.h>

#include <string>

namespace hostcore {
namespace {

TEST(CodePageTest, OnlyGbkIsTakenAndARefusalNamesTheWorkstationsCodePage) {
  struct Case {
    unsigned code_page;
    const char* named;  // in the refusal; null when the code page is taken
  };
  const Case cases[] = {
      {936, nullptr}, {1252, "code page is 1252;"}, {65001, "code page is 65001 (UTF-8);"}, {950, "code page is 950;"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code_page);
    if (c.named == nullptr) {
      EXPECT_NO_THROW(RequireGbkCodePage(c.code_page));
      continue;
    }
    try {
      RequireGbkCodePage(c.code_page);
      ADD_FAILURE() << "taken";
    } catch (const CodePageError& error) {
      EXPECT_NE(std::string(error.what()).find(c.named), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace hostcore
