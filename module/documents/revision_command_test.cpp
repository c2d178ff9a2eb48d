// The revision workflow ("修改文档") with the real document store: the check
// for a newer local copy, fetching and opening, the save dialog, storing back,
// and the error trap.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "module/documents/main_form.h"
#include "module/documents/save_file_form.h"
#include "module/testing/host_fixture.h"
#include "runtime/data/client_dataset.h"
#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/services/vexa_client_dataset.h"
#include "runtime/platform/platform.h"
#include "runtime/sysutils.h"
#include "runtime/platform/testing/test_support.h"
#include "runtime/platform/sleep.h"
#include "labdoc/testing/other_owner.h"
#include "runtime/services/environment.h"

namespace labdocs {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr const char* kNewerCopyQuestion = "confirm(1): 发现本地文件较新,可能上次修改未保存至服务器\n\r是否保存?";

// Seconds since the epoch of a local date and time.
std::time_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  return std::mktime(&parts);
}

class RevisionTest : public testing::HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    opened_ = home_ / "opened.txt";
    opener_.emplace(opened_);
    view_ = rt::CreateForm<TfrmMain>(&rt::Application(), std::string("LabDoc_ID=1"));
    ASSERT_TRUE(view_->FDocLibReady) << "the document store did not bind";
  }
  void TearDown() override {
    view_->Free();
    rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", std::nullopt);
    HostFixture::TearDown();
  }

  fs::path Native(const std::string& utf8_relative) { return home_ / rt::testing::Utf8Path(utf8_relative); }
  void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The cached copy of a stored file name (UTF-8).
  fs::path CacheCopy(const std::string& utf8_name) { return home_ / "DocCache" / rt::testing::Utf8Path(utf8_name); }
  // Its path as the plug-in and the store name it (GBK).
  std::string CachePath(const std::string& utf8_name) {
    return rt::gbk::FromUtf8(home_.string() + "/DocCache\\" + utf8_name);
  }

  // Stores a file as a new document and gives its number.
  std::int32_t StoreDocument(const std::string& utf8_name, const std::string& content) {
    const fs::path source = Native(u8"来源/" + utf8_name);
    WriteFile(source, content);
    std::int32_t id = 0;
    EXPECT_TRUE(view_->StoreDocument(rt::platform::AnsiPath(source), id));
    return id;
  }
  // The content the store holds now, fetched afresh (the cached copy is
  // removed first so that it cannot be handed back).
  std::string StoredContent(std::int32_t id, const std::string& utf8_name) {
    fs::remove(CacheCopy(utf8_name));
    char buffer[kFilePathBufferSize] = {};
    char* path = buffer;
    if (!view_->FetchDocument(id, path)) return "(no document)";
    return ReadFile(rt::platform::NativePath(buffer));
  }
  // Leaves a copy in the cache with the given content and last-access time
  // (the last-write time is set elsewhere on purpose).
  void LeaveCacheCopy(const std::string& utf8_name, const std::string& content, std::time_t access) {
    const fs::path path = CacheCopy(utf8_name);
    WriteFile(path, content);
    SetAccessTime(path, access);
  }
  static void SetAccessTime(const fs::path& path, std::time_t access) {
    ASSERT_TRUE(rt::testing::SetFileTimes(path, rt::testing::FileTimeValue{access, 0},
                                          rt::testing::FileTimeValue{LocalSeconds(2001, 1, 1, 0, 0, 0), 0}))
        << path;
  }

  void SelectRow(const std::string& params) {
    view_->cdsParams->SetRows(rt::RowSet{{{"Params", rt::FieldType::Text}}, {{params}}});
  }
  static std::string Row(std::int32_t id, const std::string& name) {
    return "ID=7;LabDoc_ID=" + std::to_string(id) + ";DISP_名称=" + name;
  }

  Lines LogSince(std::size_t before) const {
    return Lines(presenter_.Log().begin() + static_cast<std::ptrdiff_t>(before), presenter_.Log().end());
  }

  // Runs the command as the host does, through the menu item's name.
  std::int32_t Revise() {
    statements_.clear();
    return view_->ExecuteMenuItem("N2");
  }
  // The paths the opening program was started with, once `count` arrived.
  Lines Opened(std::size_t count) { return opener_->Opened(count); }
  // A user who edits the opened file in its program, then answers the
  // dialog by clicking `button`.
  void EditThenClick(const std::string& utf8_name, const std::string& content, const std::string& button) {
    presenter_.Then([this, utf8_name, content](rt::TForm& dialog) {
      EXPECT_EQ(&dialog, FrmSaveFile);
      WriteFile(CacheCopy(utf8_name), content);
    });
    presenter_.Click(button);
  }

  TfrmMain* view_ = nullptr;
  fs::path opened_;
  std::optional<rt::testing::RecordingOpener> opener_;
};

TEST_F(RevisionTest, WithoutALocalCopyTheDocumentIsFetchedOpenedAndStoredBack) {
  const std::int32_t id = StoreDocument(u8"周报淺.doc", "第一版");
  SelectRow(Row(id, "周报淺.doc"));
  EditThenClick(u8"周报淺.doc", "第二版，已修改", "BtnSave");
  EXPECT_EQ(Revise(), 0);
  EXPECT_EQ(presenter_.Log(), (Lines{"show FrmSaveFile", "hide FrmSaveFile"}));
  EXPECT_EQ(Opened(1), Lines{rt::testing::PathUtf8(CacheCopy(u8"周报淺.doc"))});
  EXPECT_EQ(FrmSaveFile, nullptr);
  EXPECT_FALSE(view_->FDataChanged);
  EXPECT_EQ(StoredContent(id, u8"周报淺.doc"), "第二版，已修改");
}

TEST_F(RevisionTest, CancellingOrClosingTheDialogStoresNothing) {
  const std::int32_t id = StoreDocument(u8"记录.txt", "原稿");
  SelectRow(Row(id, "记录.txt"));
  EditThenClick(u8"记录.txt", "未保存的修改", "BtnCancel");
  EXPECT_EQ(Revise(), 0);
  EXPECT_EQ(presenter_.Log(), (Lines{"show FrmSaveFile", "hide FrmSaveFile"}));
  EXPECT_EQ(StoredContent(id, u8"记录.txt"), "原稿");

  // The title bar's close button (the script runs out) counts as no.
  fs::remove(CacheCopy(u8"记录.txt"));  // the unstored edits would be offered first
  presenter_.Then([this](rt::TForm&) { WriteFile(CacheCopy(u8"记录.txt"), "又一次修改"); });
  presenter_.Close();
  EXPECT_EQ(Revise(), 0);
  EXPECT_EQ(StoredContent(id, u8"记录.txt"), "原稿");
  EXPECT_TRUE(presenter_.Messages().empty());
  EXPECT_EQ(FrmSaveFile, nullptr);
}

TEST_F(RevisionTest, TheDialogShowsItsWarningAndTwoButtons) {
  presenter_.Then([](rt::TForm& form) {
    auto& dialog = dynamic_cast<TFrmSaveFile&>(form);
    EXPECT_EQ(dialog.Caption(), "保存文件到服务器");
    EXPECT_EQ(dialog.sfrmCopyList->Caption(), "保存文件到服务器");
    EXPECT_EQ(dialog.VexaLabel201->Caption(), "保存前请确认已经将打开的本地文件保存并关闭");
    EXPECT_EQ(dialog.BtnSave->Caption(), "保存");
    EXPECT_EQ(dialog.BtnSave->ModalResult(), rt::mrOk);
    EXPECT_EQ(dialog.BtnCancel->Caption(), "取消");
    EXPECT_EQ(dialog.BtnCancel->ModalResult(), rt::mrCancel);
    EXPECT_EQ(dialog.Owner(), &rt::Application());
  });
  presenter_.Click("BtnSave");
  EXPECT_TRUE(ConfirmSaveToServer());
  presenter_.Click("BtnCancel");
  EXPECT_FALSE(ConfirmSaveToServer());
  EXPECT_EQ(FrmSaveFile, nullptr);
}

// Whether a copy in the cache is offered for storing is the store's answer:
// a copy it fetched for this document that changed since. Reading a copy,
// another document's copy of the same name, or a file nobody fetched are
// never offered, and a fetch never overwrites edits that were not stored.
TEST_F(RevisionTest, ALocalCopyIsOfferedOnlyWhenItHoldsUnstoredEditsOfThisDocument) {
  struct Case {
    const char* what;
    // Leaves the cache as the case needs it; A and B are two documents whose
    // files are both named 报告.doc.
    std::function<void(std::int32_t a, std::int32_t b)> before;
    int answer;  // to the question, when asked
    bool asked;
    const char* stored_a_after;  // A's content after the revision
    const char* copy_after;      // what the cached copy holds afterwards
    bool refused;                // the fetch kept the copy and the command said why
  };
  const fs::path copy = CacheCopy(u8"报告.doc");
  auto fetch = [this](std::int32_t id) {
    char buffer[kFilePathBufferSize] = {};
    char* path = buffer;
    ASSERT_TRUE(view_->FetchDocument(id, path));
  };
  const Case cases[] = {
      {"A's copy edited, stored on yes", [&](std::int32_t a, std::int32_t) { fetch(a), WriteFile(copy, "A 改"); }, 1,
       true, "A 改", "A 改", false},
      {"A's copy edited, declined", [&](std::int32_t a, std::int32_t) { fetch(a), WriteFile(copy, "A 改"); }, 2, true,
       "A 原稿", "A 改", true},
      {"A's copy edited into bytes the store holds (B's)",
       [&](std::int32_t a, std::int32_t) { fetch(a), WriteFile(copy, "B 原稿"); }, 1, false, "A 原稿", "A 原稿", false},
      {"A's copy only read", [&](std::int32_t a, std::int32_t) { fetch(a), SetAccessTime(copy, 4102444800); }, 1, false,
       "A 原稿", "A 原稿", false},
      {"B's copy, unchanged", [&](std::int32_t, std::int32_t b) { fetch(b); }, 1, false, "A 原稿", "A 原稿", false},
      {"B's copy, edited", [&](std::int32_t, std::int32_t b) { fetch(b), WriteFile(copy, "B 改"); }, 1, false, "A 原稿",
       "B 改", true},
      {"a file nobody fetched", [&](std::int32_t, std::int32_t) { WriteFile(copy, "自己的文件"); }, 1, false, "A 原稿",
       "自己的文件", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(home_ / "DocCache");
    Exec("Delete From DB_FILE_STORAGE");  // no content of an earlier case is stored any more
    const std::int32_t a = StoreDocument(u8"A/报告.doc", "A 原稿");
    const std::int32_t b = StoreDocument(u8"B/报告.doc", "B 原稿");
    c.before(a, b);
    SelectRow(Row(a, "报告.doc"));
    presenter_.AnswerConfirm(c.answer);
    presenter_.Click("BtnCancel");
    const std::size_t before = presenter_.Log().size();
    EXPECT_EQ(Revise(), 0);
    const Lines log = LogSince(before);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front() == kNewerCopyQuestion, c.asked) << ::testing::PrintToString(log);
    if (c.refused) {
      EXPECT_EQ(log.back().rfind("prompt: 修改文档操作失败,最可能的原因是:\r\n", 0), 0u) << log.back();
      EXPECT_NE(log.back().find(CachePath(u8"报告.doc")), std::string::npos) << log.back();
      EXPECT_EQ(std::count(log.begin(), log.end(), "show FrmSaveFile"), 0);
    } else {
      EXPECT_EQ(log.back(), "hide FrmSaveFile");
    }
    EXPECT_EQ(ReadFile(copy), c.copy_after);
    fs::remove(copy);
    EXPECT_EQ(StoredContent(a, u8"报告.doc"), c.stored_a_after);
    EXPECT_EQ(StoredContent(b, u8"报告.doc"), "B 原稿");
  }
}

TEST_F(RevisionTest, ARowWithoutAUsableNumberUsesMinusOneThroughout) {
  // A copy with that name is in the cache, but no document -1 was fetched
  // into it: no question; the fetch of -1 answers no.
  LeaveCacheCopy(u8"孤本.doc", "本地", LocalSeconds(2024, 5, 6, 10, 20, 32));
  for (const std::string row : {"LabDoc_ID=abc;DISP_名称=孤本.doc", "ID=3;DISP_名称=孤本.doc"}) {
    SelectRow(row);
    EXPECT_EQ(Revise(), 0);
    EXPECT_TRUE(presenter_.Log().empty()) << ::testing::PrintToString(presenter_.Log());
  }
  EXPECT_EQ(ReadFile(CacheCopy(u8"孤本.doc")), "本地");
  rt::platform::SleepFor(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(opened_));
}

TEST_F(RevisionTest, AStoreBackThatAnswersNoIsToldAndTheEditsStay) {
  const std::int32_t id = StoreDocument(u8"计划.doc", "原稿");
  SelectRow(Row(id, "计划.doc"));
  presenter_.Then([this, id](rt::TForm&) {
    WriteFile(CacheCopy(u8"计划.doc"), "修改稿");
    Exec("Delete From DB_FILE_STORAGE Where LABDOC_ID=" + std::to_string(id));  // by someone else, meanwhile
  });
  presenter_.Click("BtnSave");
  EXPECT_EQ(Revise(), 0);
  const std::string copy = CachePath(u8"计划.doc");
  EXPECT_EQ(presenter_.Log(),
            (Lines{"show FrmSaveFile", "hide FrmSaveFile",
                   "alert: 文档没有保存到服务器(文档可能已被删除，或文档库不可用)。修改过的文件仍在 " + copy +
                       "，下次修改此文档时会提示保存。"}));
  EXPECT_EQ(ReadFile(CacheCopy(u8"计划.doc")), "修改稿");
}

TEST_F(RevisionTest, ANameThatWouldLeaveTheCacheIsRefused) {
  WriteFile(home_ / "secret.txt", "不该上传");
  const std::int32_t id = StoreDocument(u8"正常.doc", "原稿");
  for (const std::string name : {"..\\..\\secret.txt", "..\\secret.txt", "../secret.txt", "a|b.doc"}) {
    SelectRow(Row(id, name));
    presenter_.AnswerConfirm(1);
    const std::size_t before = presenter_.Log().size();
    EXPECT_EQ(Revise(), 0);
    EXPECT_EQ(LogSince(before), Lines{"alert: 文档的文件名 " + name + " 不能用作文档缓存中的文件名，无法修改此文档！"});
  }
  EXPECT_EQ(StoredContent(id, u8"正常.doc"), "原稿");
}

TEST_F(RevisionTest, WithoutAProgramForTheFileTheUserIsToldBeforeAnyDialog) {
  const std::int32_t id = StoreDocument(u8"图谱.xyz", "内容");
  SelectRow(Row(id, "图谱.xyz"));
  rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", (home_ / "no-such-program").string());
  presenter_.Click("BtnSave");
  EXPECT_EQ(Revise(), 0);
  EXPECT_EQ(presenter_.Log(),
            Lines{"alert: 没有与文件 " + CachePath(u8"图谱.xyz") + " 关联的打开程序，无法打开它进行修改！"});
}

TEST_F(RevisionTest, AFailedFetchEndsTheCommandSilently) {
  SelectRow(Row(999, "不存在.doc"));
  EXPECT_EQ(Revise(), 0);
  EXPECT_TRUE(presenter_.Log().empty());
  rt::platform::SleepFor(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(opened_));
}

TEST_F(RevisionTest, AnErrorFromTheStoreIsReportedWithTheLikelyCause) {
  const std::int32_t id = StoreDocument(u8"图谱.pdf", "%PDF-1");
  SelectRow(Row(id, "图谱.pdf"));
  presenter_.Then([this](rt::TForm&) {
    // The store's write fails from now on.
    rt::testing::AddRefusal(SchemaOwner(), "refuse_content", "INSERT", "DB_FILE_CONTENT", "1 = 1", "disk full");
  });
  presenter_.Click("BtnSave");
  EXPECT_EQ(Revise(), 0);
  ASSERT_EQ(presenter_.Log().size(), 3u) << ::testing::PrintToString(presenter_.Log());
  const std::string prompt = presenter_.Log()[2];
  const std::string head = "prompt: 修改文档操作失败,最可能的原因是:\r\n";
  const std::string tail = "\r\n本地文件未关闭";
  ASSERT_GT(prompt.size(), head.size() + tail.size()) << prompt;
  EXPECT_EQ(prompt.substr(0, head.size()), head);
  EXPECT_EQ(prompt.substr(prompt.size() - tail.size()), tail);
  EXPECT_NE(prompt.find("disk full"), std::string::npos) << prompt;
  EXPECT_EQ(StoredContent(id, u8"图谱.pdf"), "%PDF-1");
  EXPECT_EQ(FrmSaveFile, nullptr);
}

TEST_F(RevisionTest, EachRevisionMakesAndFreesItsOwnDialog) {
  const std::int32_t id = StoreDocument(u8"月报.xls", "一月");
  SelectRow(Row(id, "月报.xls"));
  EditThenClick(u8"月报.xls", "二月", "BtnSave");
  EXPECT_EQ(Revise(), 0);
  EXPECT_EQ(FrmSaveFile, nullptr);
  EditThenClick(u8"月报.xls", "三月", "BtnSave");
  EXPECT_EQ(Revise(), 0);
  EXPECT_EQ(FrmSaveFile, nullptr);
  // The second dialog got the plain name: the first one was gone.
  EXPECT_EQ(presenter_.Log(), (Lines{"show FrmSaveFile", "hide FrmSaveFile", "show FrmSaveFile", "hide FrmSaveFile"}));
  EXPECT_EQ(Opened(2).size(), 2u);
  EXPECT_EQ(StoredContent(id, u8"月报.xls"), "三月");
}

TEST_F(RevisionTest, TheLocalTimeIsTheLastAccessTimeInDosResolution) {
  const fs::path file = Native(u8"时间/淺.txt");
  WriteFile(file, "x");
  const std::string path = rt::platform::AnsiPath(file);
  SetAccessTime(file, LocalSeconds(2021, 3, 4, 5, 6, 7));  // the write time is 2001
  EXPECT_EQ(view_->GetLocalFileTime(path), rt::EncodeDateTime(2021, 3, 4, 5, 6, 6, 0));
  // Outside the DOS range the nearer end of the range stands in.
  SetAccessTime(file, LocalSeconds(1975, 6, 1, 12, 0, 0));
  EXPECT_EQ(view_->GetLocalFileTime(path), rt::EncodeDateTime(1980, 1, 1, 0, 0, 0, 0));
  SetAccessTime(file, LocalSeconds(2120, 6, 1, 12, 0, 0));
  EXPECT_EQ(view_->GetLocalFileTime(path), rt::EncodeDateTime(2107, 12, 31, 23, 59, 58, 0));
}

// Two workstations and one document. While this one's save dialog is open,
// or while its upload runs, another stores a content of its own ("PC-B",
// 李四): storing back then does not replace it unasked, but names who
// stored it and when, and asks. Yes keeps both, this copy as the current
// content and the other as a kept revision; no keeps the other's and leaves
// this copy where it is. The upload is held after its chunks
// (LABDOCS_TEST_UPLOAD_BARRIER) while the other workstation, a process of
// its own on a connection of its own, stores.
TEST_F(RevisionTest, StoringOverAContentStoredMeanwhileNamesItsAuthorAndAsks) {
  struct Case {
    bool during_upload;
    int answer;
    const char* stored_after;
  };
  int n = 0;
  for (const Case& c : {Case{false, 1, "我的修改"}, Case{false, 0, "李四的修改"}, Case{true, 1, "我的修改"},
                        Case{true, 0, "李四的修改"}}) {
    SCOPED_TRACE(std::string(c.during_upload ? "during the upload, " : "during the dialog, ") +
                 (c.answer == 1 ? "yes" : "no"));
    fs::remove_all(home_ / "DocCache");
    const std::int32_t id = StoreDocument(u8"方案淺.doc", "原稿");
    SelectRow(Row(id, "方案淺.doc"));
    const fs::path theirs = Native(u8"PC-B/方案淺.doc");
    WriteFile(theirs, "李四的修改");
    const fs::path barrier = home_ / ("barrier" + std::to_string(++n));
    const fs::path errors = home_ / ("errors" + std::to_string(n));
    std::optional<rt::testing::ScopedEnv> database, held;
    std::unique_ptr<rt::testing::Process> other;
    if (c.during_upload) {
      fs::create_directories(barrier);
      database.emplace("LABDOCS_DATABASE", database_->Setting());
      held.emplace("LABDOCS_TEST_UPLOAD_BARRIER", rt::platform::AnsiPath(barrier) + "/");
      rt::testing::ProcessOptions options;
      options.environment = {"LABDOCS_TEST_UPLOAD_BARRIER="};
      options.standard_error = errors;
      other = rt::testing::StartProcess(rt::testing::BuiltProgram("labdoc_fetch_helper"),
                                        {"update", rt::testing::PathUtf8(home_ / "PC-B-cache"), std::to_string(id),
                                         rt::testing::PathUtf8(theirs), rt::testing::PathUtf8(barrier)},
                                        options);
      EditThenClick(u8"方案淺.doc", "我的修改", "BtnSave");
    } else {
      presenter_.Then([&](rt::TForm&) {
        WriteFile(CacheCopy(u8"方案淺.doc"), "我的修改");
        // The other workstation stores its own edit of the same document.
        const rt::HostEnvironment mine = rt::Environment();
        rt::HostEnvironment other_workstation = mine;
        other_workstation.computer_name = "PC-B";
        other_workstation.user_name = "李四";
        rt::SetEnvironment(other_workstation);
        EXPECT_TRUE(view_->UpdateDocument(id, rt::platform::AnsiPath(theirs).c_str()));
        rt::SetEnvironment(mine);
      });
      presenter_.Click("BtnSave");
    }
    presenter_.AnswerConfirm(c.answer);
    const std::size_t before = presenter_.Log().size();
    EXPECT_EQ(Revise(), 0);
    if (other) {
      EXPECT_EQ(other->Wait(), 0) << ReadFile(errors);
      EXPECT_TRUE(fs::exists(barrier / "reached")) << "the upload was not held";
    }
    const Lines log = LogSince(before);
    ASSERT_GE(log.size(), 3u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[2].rfind("confirm(1): 李四(PC-B) 于 ", 0), 0u) << log[2];
    EXPECT_NE(log[2].find(" 存入了此文档的新内容(在您取出此副本之后)\n\r是否仍把您的修改存为最新内容?"),
              std::string::npos)
        << log[2];
    if (c.answer != 1) {
      EXPECT_EQ(log.back(), "alert: 您的修改没有保存到服务器，修改过的文件仍在 " + CachePath(u8"方案淺.doc") + "。");
      EXPECT_EQ(ReadFile(CacheCopy(u8"方案淺.doc")), "我的修改");
    }
    EXPECT_EQ(StoredContent(id, u8"方案淺.doc"), c.stored_after);
    // Nothing is lost: the original and both edits are kept, in the order
    // they became current; no upload is left pending.
    const rt::RowSet kept = rt::CurrentDataSession().QueryBound(
        "SELECT FILE_SIZE FROM DB_FILE_CONTENT WHERE LABDOC_ID = ? AND PENDING = 0 ORDER BY STOREDTIME",
        {std::int64_t{id}});
    const std::int64_t original = 4, theirs_size = 10, mine_size = 8;  // GBK bytes
    std::vector<rt::Value> sizes;
    for (const auto& row : kept.rows) sizes.push_back(row.at(0));
    EXPECT_EQ(sizes, c.answer == 1 ? (std::vector<rt::Value>{original, theirs_size, mine_size})
                                   : (std::vector<rt::Value>{original, theirs_size}));
    EXPECT_EQ(rt::CurrentDataSession()
                  .QueryBound("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1", {})
                  .rows.at(0)
                  .at(0),
              rt::Value(std::int64_t{0}));
  }
}

// Another workstation revising the document is named before the document
// is opened; no stops the command there. A revision whose owner has ended
// (its process died: the lock of its file is free) is none, and goes.
TEST_F(RevisionTest, AnotherWorkstationsRevisionInProgressIsNamedAndAsked) {
  const std::int32_t id = StoreDocument(u8"规程.doc", "原稿");
  SelectRow(Row(id, "规程.doc"));
  const std::string owners = rt::platform::AnsiPath(home_) + "/labdocs.db-labdoc-locks/";
  struct Case {
    const char* what;
    bool owner_lives;
    int answer;
    bool asked, opened;
  };
  int n = 0;
  for (const Case& c :
       {Case{"a live revision, no", true, 0, true, false}, Case{"a live revision, yes", true, 1, true, true},
        Case{"the owner ended", false, 1, false, true}}) {
    SCOPED_TRACE(c.what);
    labdoc::testing::OtherOwner other(rt::testing::EngineUnderTest(), owners, "00000000000000a" + std::to_string(++n));
    if (!c.owner_lives) other.Stop();
    rt::CurrentDataSession().ExecuteBound(
        "INSERT INTO DB_FILE_REVISING(OWNER, LABDOC_ID, HOSTNAME, USERID, USERNAME, SINCE) VALUES(?, ?, ?, ?, ?, ?)",
        {other.Token(), std::int64_t{id}, std::string("PC-B"), std::string("lisi"), std::string("李四"),
         std::string("2026-12-07 09:30:00.000")});
    presenter_.AnswerConfirm(c.answer);
    presenter_.Click("BtnCancel");
    const std::size_t before = presenter_.Log().size();
    EXPECT_EQ(Revise(), 0);
    const Lines log = LogSince(before);
    const std::string question = "confirm(1): 李四(PC-B) 自 2026-12-07 09:30:00 起正在修改此文档\n"
                                 "同时修改时，后保存的一方会得到提示。\n\r是否继续修改?";
    EXPECT_EQ(!log.empty() && log.front() == question, c.asked) << ::testing::PrintToString(log);
    // The document is opened, and the save dialog follows, only when the
    // command goes on.
    EXPECT_EQ(std::count(log.begin(), log.end(), "show FrmSaveFile"), c.opened ? 1 : 0);
    // The command's own revision ended with it; the ended owner's row went.
    const rt::RowSet left = rt::CurrentDataSession().QueryBound("SELECT OWNER FROM DB_FILE_REVISING", {});
    EXPECT_EQ(left.rows.size(), c.owner_lives ? 1u : 0u);
    Exec("Delete From DB_FILE_REVISING");
  }
}

}  // namespace
}  // namespace labdocs
