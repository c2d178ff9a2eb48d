#include "runtime/services/environment.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"

namespace {

TEST(EnvironmentTest, Defaults) {
  rt::HostEnvironment defaults = rt::DefaultEnvironment();
  ASSERT_FALSE(defaults.base_dir.empty());
  EXPECT_EQ(defaults.base_dir.back(), rt::platform::kPathDelimiter);
  EXPECT_TRUE(rt::DirectoryExists(defaults.base_dir));
  EXPECT_EQ(rt::platform::NativePath(defaults.base_dir), std::filesystem::current_path() / "");
  EXPECT_EQ(defaults.user_id, "admin");
  EXPECT_FALSE(defaults.user_name.empty());
  EXPECT_FALSE(defaults.computer_name.empty());
  EXPECT_EQ(defaults.sys_code, "LIS_DIRECTOR");
  EXPECT_EQ(defaults.display_style, 0);
}

TEST(EnvironmentTest, SetReplacesWhatEveryReaderSees) {
  const rt::HostEnvironment& current = rt::Environment();
  rt::HostEnvironment saved = current;
  rt::HostEnvironment changed{"/srv/检验/", "u01", "张三", "工作站", "LIS_LAB", 2};
  rt::SetEnvironment(changed);
  // The reference taken before still reads the process's environment.
  EXPECT_EQ(&rt::Environment(), &current);
  EXPECT_EQ(current.base_dir, "/srv/检验/");
  EXPECT_EQ(current.user_name, "张三");
  EXPECT_EQ(current.display_style, 2);
  rt::SetEnvironment(saved);
  EXPECT_EQ(rt::Environment().sys_code, saved.sys_code);
}

}  // namespace
