#include "runtime/ui/dialogs.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "runtime/ui/application.h"
#include "runtime/ui/scripted_presenter.h"

namespace rt {
namespace {

TEST(FileDialogTest, ThePresenterAnswersAndTheChoiceLandsInFileName) {
  ScriptedPresenter presenter;
  Application().SetPresenter(&presenter);
  TSaveDialog save(nullptr);
  save.SetProperty("Title", std::string("文档另存为"));
  save.SetProperty("Options", std::vector<std::string>{"ofOverwritePrompt", "ofPathMustExist"});
  save.Filter = "文档类型(*.doc)|*.doc";
  save.FileName = "报告.doc";
  presenter.AnswerSaveDialog(std::string("/tmp/副本.doc")).AnswerSaveDialog(std::nullopt);
  EXPECT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/副本.doc");
  save.FileName = "报告.doc";
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName, "报告.doc");  // a cancelled dialog changes nothing
  EXPECT_TRUE(save.HasOption("OFOVERWRITEPROMPT"));
  EXPECT_FALSE(save.HasOption("ofFileMustExist"));
  ASSERT_FALSE(presenter.Log().empty());
  EXPECT_EQ(presenter.Log().front(), "save dialog: 文档另存为 [文档类型(*.doc)|*.doc] 报告.doc");

  TOpenDialog open(nullptr);
  EXPECT_FALSE(open.Execute());  // nothing scripted: cancelled, and noted
  EXPECT_EQ(presenter.Log().back(), "unexpected file dialog");
  EXPECT_THROW(open.SetProperty("NoSuchOption", true), Exception);
  Application().SetPresenter(nullptr);
  EXPECT_THROW(open.Execute(), EInvalidOperation);
}

}  // namespace
}  // namespace rt
