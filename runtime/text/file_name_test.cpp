#include "runtime/text/file_name.h"

#include <gtest/gtest.h>

namespace rt {
namespace {

TEST(FileNameTest, UnsafeNamesAreMadeSafeAndSafeOnesStayAsTheyAre) {
  struct Case {
    std::string name, safe;
  };
  const Case cases[] = {
      {"周报.doc", "周报.doc"},
      {"淺亅表.doc", "淺亅表.doc"},  // 淺 is 9C 5C, 亅 81 7C: second bytes, not a separator and a bar
      {"淺\\癮|.doc", "淺_癮_.doc"},
      {"..\\..\\secret.txt", ".._.._secret.txt"},
      {"乗\\x", "乗_x"},  // 乗 ends in 0x5C; the backslash after it is one
      {"亅報告 a b.txt", "亅報告 a b.txt"},
      {"../etc/passwd", ".._etc_passwd"},
      {"a\"b|c?d<e>f*g:h.txt", "a_b_c_d_e_f_g_h.txt"},
      {std::string("tab\there\x01\x7f.txt"), "tab_here__.txt"},
      {"报告. ", "报告__"},
      {".", "_"},
      {"..", "__"},
      {"", "_"},
      {"CON", "_CON"},
      {"nul.txt", "_nul.txt"},
      {"com1.doc", "_com1.doc"},
      {"COM10.doc", "COM10.doc"},
      {"NUL .txt", "_NUL .txt"},  // Windows drops the blanks before the extension
      {"con  .pdf", "_con  .pdf"},
      {"CONIN$", "_CONIN$"},
      {"conout$.log", "_conout$.log"},
      {"CONOUT", "CONOUT"},
      {"console.doc", "console.doc"},
      {"~labdoc-0123456789abcdef.tmp", "_~labdoc-0123456789abcdef.tmp"},
      {"~LabDoc-x", "_~LabDoc-x"},
      {"~labdoc.txt", "~labdoc.txt"},
      {std::string("\x81"), "_"},         // a lead byte alone
      {std::string("a\x80\xff"), "a__"},  // bytes that are no GBK character
      {std::string("\x81\x30x"), "_0x"},  // a lead byte before a byte that cannot follow it
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SafeFileName(c.name), c.safe) << c.name;
    EXPECT_EQ(SafeFileName(c.safe), c.safe) << "not idempotent: " << c.safe;
    EXPECT_EQ(IsSafeFileName(c.name), c.name == c.safe) << c.name;
  }
}

}  // namespace
}  // namespace rt
