#include "module/service_calls/result_check.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "runtime/ole/error_info.h"

namespace labdocs {
namespace {

TEST(ResultCheckTest, NegativeStatusesRaiseWithTheComponentsReason) {
  EXPECT_NO_THROW(OleCheck(S_OK));
  EXPECT_NO_THROW(OleCheck(S_FALSE));
  rt::SetErrorInfo("表不存在");
  try {
    OleCheck(E_FAIL);
    FAIL() << "no error raised";
  } catch (const rt::EOleError& e) {
    EXPECT_STREQ(e.what(), "表不存在");
    EXPECT_EQ(e.Status(), E_FAIL);
  }
  // The reason is used once; a later failure without one names its status.
  try {
    OleCheck(E_POINTER);
    FAIL() << "no error raised";
  } catch (const rt::EOleError& e) {
    EXPECT_STREQ(e.what(), "OLE error 80004003");
  }
}

}  // namespace
}  // namespace labdocs
