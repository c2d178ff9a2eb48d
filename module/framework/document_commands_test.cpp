// Open and Save as with the real document store, loaded by name.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "module/framework/record_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/data/client_dataset.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/platform/platform.h"
#include "runtime/ui/actions.h"
#include "runtime/ui/dialogs.h"
#include "runtime/platform/testing/test_support.h"

namespace labdocs {
namespace {

namespace fs = std::filesystem;

class DocumentCommandsTest : public testing::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    form_ = rt::CreateForm<TfrmClsfrmConfig>(&rt::Application(), std::string());
    ASSERT_TRUE(form_->FDocLibReady) << "the document store did not bind";
  }
  void TearDown() override {
    form_->Free();
    rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", std::nullopt);
    HostFixture::TearDown();
  }

  // A GBK path under the home folder, its folders made.
  std::string Path(const std::string& utf8_relative) {
    fs::path native = home_ / rt::testing::Utf8Path(utf8_relative);
    fs::create_directories(native.parent_path());
    return rt::platform::AnsiPath(native);
  }
  std::string Write(const std::string& utf8_relative, const std::string& content) {
    std::string path = Path(utf8_relative);
    std::ofstream(rt::platform::NativePath(path), std::ios::binary) << content;
    return path;
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(rt::platform::NativePath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::int32_t Store(const std::string& path) {
    std::int32_t id = 0;
    EXPECT_TRUE(form_->StoreDocument(path, id));
    return id;
  }
  void SelectRow(const std::string& params) {
    form_->cdsParams->SetRows(rt::RowSet{{{"Params", rt::FieldType::Text}}, {{params}}});
  }

  TfrmClsfrmConfig* form_ = nullptr;
};

TEST_F(DocumentCommandsTest, StoredDocumentsAreFetchedIntoTheCache) {
  std::int32_t id = Store(Write(u8"来源/周报淺.doc", "第一版"));
  ASSERT_GE(id, 1);
  char buffer[kFilePathBufferSize] = {};
  char* path = buffer;
  ASSERT_TRUE(form_->FetchDocument(id, path));
  EXPECT_EQ(std::string(buffer), rt::platform::AnsiPath(home_) + "/DocCache\\" + "周报淺.doc");
  EXPECT_EQ(Read(buffer), "第一版");
  EXPECT_TRUE(form_->UpdateDocument(id, Write(u8"来源/新版.doc", "第二版").c_str()));
  ASSERT_TRUE(form_->FetchDocument(id, path));
  EXPECT_EQ(Read(buffer), "第二版");
  EXPECT_TRUE(form_->DeleteDocument(id));
  EXPECT_FALSE(form_->FetchDocument(id, path));
}

TEST_F(DocumentCommandsTest, APathThatDoesNotFitTheStoresBufferIsRefusedWhole) {
  const std::string folder = rt::platform::AnsiPath(home_) + "/";
  const std::string fits = Write(std::string(248 - folder.size(), 'a'), "x");
  ASSERT_EQ(fits.size(), 248u);
  std::int32_t id = 0;
  EXPECT_TRUE(form_->StoreDocument(fits + "", id));
  const std::string too_long = Write(std::string(250 - folder.size(), 'b'), "x");
  ASSERT_EQ(too_long.size(), 250u);
  std::int32_t other = 0;
  EXPECT_FALSE(form_->StoreDocument(too_long, other));
  EXPECT_EQ(other, 0);
}

TEST_F(DocumentCommandsTest, SaveAsCopiesTheDocumentWhereTheUserChooses) {
  std::int32_t id = Store(Write(u8"来源/周报淺.doc", "内容"));
  SelectRow("ID=1;LabDoc_ID=" + std::to_string(id) + ";Disp_名称=周报淺.doc");
  const std::string target = Path(u8"副本/周报.doc");
  Write(u8"副本/周报.doc", "旧的");  // replaced after the dialog's own question
  presenter_.AnswerSaveDialog(target);
  form_->acSaveAs->Execute();
  EXPECT_EQ(Read(target), "内容");
  EXPECT_EQ(presenter_.Log(), (std::vector<std::string>{"save dialog: 文档另存为 [文档类型(*.doc)|*.doc] 周报淺.doc",
                                                        "prompt: 文件：" + target + " 保存成功！"}));
  EXPECT_EQ(form_->SaveDialog->DefaultExt, ".doc");
}

TEST_F(DocumentCommandsTest, SaveAsProposesTheSourcesFileNameWhenTheRowHasNoName) {
  std::int32_t id = Store(Write(u8"来源/README", "无扩展名"));
  SelectRow("LabDoc_ID=" + std::to_string(id) + ";\"Disp_文件来源=D:\\lab\\2019 年\\report.doc\"");
  presenter_.AnswerSaveDialog(std::nullopt);  // cancelled: nothing more happens
  form_->acSaveAs->Execute();
  EXPECT_EQ(presenter_.Log(), std::vector<std::string>{"save dialog: 文档另存为 [文档类型(*)|*] report.doc"});
  SelectRow("LabDoc_ID=" + std::to_string(id) + ";Disp_文件来源=plain.txt");
  presenter_.AnswerSaveDialog(Path(u8"no-such-folder/x") + "/y.txt");  // the copy fails: no message
  form_->acSaveAs->Execute();
  EXPECT_EQ(presenter_.Log().back(), "save dialog: 文档另存为 [文档类型(*)|*] plain.txt");
}

TEST_F(DocumentCommandsTest, SaveAsOfAMissingDocumentOrRowDoesNothing) {
  SelectRow("LabDoc_ID=999");
  form_->acSaveAs->Execute();
  SelectRow("ID=1");
  form_->acSaveAs->Execute();
  EXPECT_TRUE(presenter_.Log().empty());
}

TEST_F(DocumentCommandsTest, SaveAsOfADocumentWhoseCachedPathWouldNotFitSaysWhy) {
  const std::string cache = rt::platform::AnsiPath(home_) + "/DocCache\\";
  const std::string name = std::string(250 - cache.size() - 8, 'n') + "报告.doc";  // 250 bytes in the cache
  const std::int32_t id = Store(Write(u8"来源/" + rt::gbk::ToUtf8(name), "内容"));
  SelectRow("LabDoc_ID=" + std::to_string(id) + ";Disp_名称=" + name);
  form_->acSaveAs->Execute();
  EXPECT_EQ(presenter_.Log(), std::vector<std::string>{"alert: 文件 " + name +
                                                       " 在文档缓存中的路径长 250 字节，超过了 249 字节，无法取出。"
                                                       "请缩短文件名或把程序放到路径较短的目录中！"});
}

TEST_F(DocumentCommandsTest, OpenHandsTheDocumentToItsProgramOrSaysWhyNot) {
  const rt::testing::RecordingOpener opener(home_ / "opened.txt");
  std::int32_t id = Store(Write(u8"来源/图谱.pdf", "%PDF"));
  SelectRow("\"LabDoc_ID= " + std::to_string(id) + " \"");  // the value is trimmed
  form_->acOpenFile->Execute();
  EXPECT_EQ(opener.Opened(1),
            std::vector<std::string>{rt::testing::PathUtf8(home_ / "DocCache" / rt::testing::Utf8Path(u8"图谱.pdf"))});
  EXPECT_TRUE(presenter_.Log().empty());
  // A number that is not one opens document -1, which the store lacks.
  SelectRow("LabDoc_ID=abc");
  form_->acOpenFile->Execute();
  EXPECT_EQ(presenter_.Log(), std::vector<std::string>{"alert: 文件打开失败,可能是下载失败或没有安装相应的打开程序！"});
}

}  // namespace
}  // namespace labdocs
