// Opening a document: it is fetched, then handed to the program that the
// desktop associates with it (here a recording opener).
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "labdoc/testing/store_fixture.h"
#include "runtime/ole/error_info.h"
#include "runtime/platform/testing/test_support.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;

class OpenTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    opener_.emplace(folder_.Native("opened.txt"));
  }

  std::optional<rt::testing::RecordingOpener> opener_;
};

TEST_F(OpenTest, FetchesTheDocumentAndStartsTheAssociatedProgramWithIt) {
  const std::int32_t doc_id = Save(WriteSource("来源\\实验记录乗.pdf", "%PDF-1.4 content"));
  std::uint8_t ok = 0;
  const HRESULT status = store_.OpenLabDoc(doc_id, &ok);
  ASSERT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);
  const std::string path = cache_ + "实验记录乗.pdf";
  EXPECT_EQ(opener_->Opened(1), std::vector<std::string>{rt::testing::PathUtf8(rt::platform::NativePath(path))});
  EXPECT_EQ(ReadAnsi(path), "%PDF-1.4 content");
}

TEST_F(OpenTest, WithoutAnAssociatedProgramTheAnswerIsNo) {
  // No program is registered for the type on Windows; elsewhere the one
  // program named for every type is missing.
  std::optional<rt::testing::ScopedEnv> no_program;
  if (rt::testing::OpenCommandVariable())
    no_program.emplace("LABDOCS_OPEN_COMMAND", folder_.Native("no-such-program").string());
  const std::int32_t doc_id = Save(WriteSource("a.unknown", "data"));
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.OpenLabDoc(doc_id, &ok), S_OK);
  EXPECT_EQ(ok, 0);
  // The document was fetched all the same.
  EXPECT_EQ(ReadAnsi(cache_ + "a.unknown"), "data");
}

TEST_F(OpenTest, AMissingDocumentIsNotOpened) {
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.OpenLabDoc(77, &ok), S_OK);
  EXPECT_EQ(ok, 0);
  // A document opened afterwards is the first thing the opener records.
  const std::int32_t doc_id = Save(WriteSource("b.doc", "b"));
  ASSERT_EQ(store_.OpenLabDoc(doc_id, &ok), S_OK);
  EXPECT_EQ(opener_->Opened(1),
            std::vector<std::string>{rt::testing::PathUtf8(rt::platform::NativePath(cache_ + "b.doc"))});
}

}  // namespace
}  // namespace labdocs::labdoc::testing
