#include "runtime/ole/automation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "runtime/errors.h"
#include "runtime/services/environment.h"
#include "runtime/sysutils.h"

namespace {

using rt::OleValue;

// Runs a call and gives the automation status of the error it raises.
template <class Call>
long StatusOf(Call call) {
  try {
    call();
  } catch (const rt::EOleError& error) {
    return error.Status();
  }
  return 0;
}

OleValue Text(const char* text) { return OleValue(std::string(text)); }

TEST(AutomationTest, UserParamIsSharedByEveryCommonObject) {
  auto first = rt::CreateOleObject("Vexa.Common");
  auto second = rt::CreateOleObject("VEXA.COMMON");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);

  OleValue key[] = {Text("AutomationTest_TV_ID")};
  first->SetProperty("UserParam", key, Text("12"));
  OleValue lower_key[] = {Text("automationtest_tv_id")};
  EXPECT_EQ(second->GetProperty("userparam", lower_key), Text("12"));
  EXPECT_EQ(rt::ReadUserParam("AUTOMATIONTEST_TV_ID"), "12");

  // Values of other kinds are kept as text; an unknown name reads as "".
  first->SetProperty("UserParam", key, OleValue(std::int64_t{37}));
  EXPECT_EQ(second->GetProperty("UserParam", key), Text("37"));
  OleValue unknown[] = {Text("AutomationTest_never_written")};
  EXPECT_EQ(first->GetProperty("UserParam", unknown), Text(""));
}

TEST(AutomationTest, UserParamNamesKeepDoubleByteCharacters) {
  auto common = rt::CreateOleObject("Vexa.Common");
  // 丄 is 81 41 and 乤 is 81 61: their second bytes are 'A' and 'a', and
  // the two names must stay apart.
  OleValue upper[] = {Text("目录丄")};
  OleValue lower[] = {Text("目录乤")};
  common->SetProperty("UserParam", upper, Text("一"));
  common->SetProperty("UserParam", lower, Text("二"));
  EXPECT_EQ(common->GetProperty("UserParam", upper), Text("一"));
  EXPECT_EQ(common->GetProperty("UserParam", lower), Text("二"));
  rt::WriteUserParam("名称淺", "值");
  OleValue shallow[] = {Text("名称淺")};
  EXPECT_EQ(common->GetProperty("UserParam", shallow), Text("值"));
}

TEST(AutomationTest, BadCallsAreAutomationErrors) {
  auto common = rt::CreateOleObject("Vexa.Common");
  OleValue key[] = {Text("x")};
  EXPECT_EQ(StatusOf([&] { common->GetProperty("NoSuchMember", key); }), rt::kDispEUnknownName);
  EXPECT_EQ(StatusOf([&] { common->SetProperty("NoSuchMember", key, Text("1")); }), rt::kDispEUnknownName);
  EXPECT_EQ(StatusOf([&] { common->Invoke("NoSuchMethod", {}); }), rt::kDispEUnknownName);
  EXPECT_EQ(StatusOf([&] { common->GetProperty("UserParam", {}); }), rt::kDispEBadParamCount);

  auto base_info = rt::CreateOleObject("Vexa.BaseInfo");
  EXPECT_EQ(StatusOf([&] { base_info->SetProperty("DisplayStyle", {}, OleValue(std::int64_t{1})); }),
            rt::kDispEMemberNotFound);

  try {
    rt::CreateOleObject("Vexa.NoSuchClass");
    FAIL() << "no error";
  } catch (const rt::EOleError& error) {
    EXPECT_EQ(error.Status(), rt::kCoEClassString);
    EXPECT_NE(std::string(error.what()).find("Invalid class string"), std::string::npos);
  }
}

TEST(AutomationTest, DisplayStyleComesFromTheEnvironment) {
  rt::HostEnvironment saved = rt::Environment();
  rt::HostEnvironment environment = saved;
  environment.display_style = 7;
  rt::SetEnvironment(environment);
  auto base_info = rt::CreateOleObject("Vexa.BaseInfo");
  EXPECT_EQ(base_info->GetProperty("DisplayStyle", {}), OleValue(std::int64_t{7}));
  // Read as a dispatch call without arguments reads it.
  EXPECT_EQ(rt::OleValueToInt(base_info->Invoke("displaystyle", {})), 7);
  rt::SetEnvironment(saved);
}

// A class with a method that writes back an argument passed by reference,
// as the data service's date query does.
class DateSource : public rt::DispatchObject {
 public:
  explicit DateSource(double days) {
    DefineMethod("GetDateFieldValue", [days](std::span<OleValue> args) -> OleValue {
      rt::CheckArgCount(args.size(), 3);
      args[2] = rt::DateTime{days};
      return {};
    });
  }
};

TEST(AutomationTest, RegisteredClassesAndByReferenceArguments) {
  rt::RegisterOleClass("AutomationTest.Dates", [] { return std::make_shared<DateSource>(1.5); });
  auto dates = rt::CreateOleObject("automationtest.dates");
  OleValue args[] = {Text("STOREDTIME"), Text("select ..."), OleValue(rt::DateTime{0})};
  EXPECT_EQ(dates->Invoke("getdatefieldvalue", args), OleValue());
  EXPECT_EQ(args[2], OleValue(rt::DateTime{1.5}));
  EXPECT_EQ(StatusOf([&] { dates->Invoke("GetDateFieldValue", std::span<OleValue>(args, 2)); }),
            rt::kDispEBadParamCount);

  // Registering again replaces the class.
  rt::RegisterOleClass("AutomationTest.Dates", [] { return std::make_shared<DateSource>(2.0); });
  rt::CreateOleObject("AutomationTest.Dates")->Invoke("GetDateFieldValue", args);
  EXPECT_EQ(args[2], OleValue(rt::DateTime{2.0}));
}

TEST(AutomationConversionTest, ToText) {
  EXPECT_EQ(rt::OleValueToText(OleValue()), "");
  EXPECT_EQ(rt::OleValueToText(OleValue(true)), "True");
  EXPECT_EQ(rt::OleValueToText(OleValue(std::int64_t{-12})), "-12");
  EXPECT_EQ(rt::OleValueToText(OleValue(2.5)), "2.5");
  EXPECT_EQ(rt::OleValueToText(Text("实验文件")), "实验文件");
  EXPECT_EQ(rt::OleValueToText(OleValue(rt::EncodeDateTime(2019, 5, 17, 13, 45, 30, 0))), "2019-05-17 13:45:30");
}

TEST(AutomationConversionTest, ToIntAndDateTime) {
  EXPECT_EQ(rt::OleValueToInt(OleValue()), 0);
  EXPECT_EQ(rt::OleValueToInt(OleValue(true)), -1);
  EXPECT_EQ(rt::OleValueToInt(Text(" 42 ")), 42);
  EXPECT_EQ(rt::OleValueToInt(Text("2.5")), 2);  // halves round to even
  EXPECT_EQ(rt::OleValueToInt(OleValue(3.5)), 4);
  EXPECT_EQ(rt::OleValueToInt(OleValue(std::int64_t{-2147483647 - 1})), -2147483647 - 1);
  for (const OleValue& bad : {Text("abc"), Text(""), OleValue(std::int64_t{1} << 40), OleValue(1e12),
                              OleValue(std::numeric_limits<double>::quiet_NaN())})
    EXPECT_THROW(rt::OleValueToInt(bad), rt::EConvertError);

  rt::DateTime stored = rt::EncodeDateTime(2019, 5, 17, 13, 45, 30, 0);
  EXPECT_EQ(rt::OleValueToDateTime(Text("2019-05-17 13:45:30")), stored);
  EXPECT_EQ(rt::OleValueToDateTime(OleValue(stored)), stored);
  EXPECT_EQ(rt::OleValueToDateTime(OleValue(2.25)), rt::DateTime{2.25});
  EXPECT_THROW(rt::OleValueToDateTime(Text("gestern")), rt::EConvertError);
  EXPECT_THROW(rt::OleValueToDateTime(OleValue(false)), rt::EConvertError);
}

}  // namespace
