// Opening a document: it is fetched, then handed to the program that the
// desktop associates with it (here a script that records its argument).
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

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
    if (!rt::testing::OpenCommandVariable())
      GTEST_SKIP() << "the program is the system's association on Windows (PlatformShellTest)";
    record_ = folder_.Native("opened.txt");
    script_ = folder_.Native("open-recorder.sh");
    { std::ofstream(script_) << "#!/bin/sh\nprintf '%s' \"$1\" > '" << record_.string() << ".part'\nmv '"
                              << record_.string() << ".part' '" << record_.string() << "'\n"; }
    fs::permissions(script_, fs::perms::owner_all);
  }

  // What the script recorded; empty when it did not run within a while.
  std::string Recorded() const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!fs::exists(record_) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::ifstream in(record_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path record_, script_;
};

TEST_F(OpenTest, FetchesTheDocumentAndStartsTheAssociatedProgramWithIt) {
  rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", script_.string());
  const std::int32_t doc_id = Save(WriteSource("来源\\实验记录乗.pdf", "%PDF-1.4 content"));
  std::uint8_t ok = 0;
  const HRESULT status = store_.Open(doc_id, &ok);
  ASSERT_EQ(status, S_OK) << Described(status);
  EXPECT_EQ(ok, 1);
  const std::string path = cache_ + "实验记录乗.pdf";
  EXPECT_EQ(Recorded(), rt::platform::ToNativePath(path));
  EXPECT_EQ(ReadAnsi(path), "%PDF-1.4 content");
}

TEST_F(OpenTest, WithoutAnAssociatedProgramTheAnswerIsNo) {
  rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", folder_.Native("no-such-program").string());
  const std::int32_t doc_id = Save(WriteSource("a.unknown", "data"));
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.Open(doc_id, &ok), S_OK);
  EXPECT_EQ(ok, 0);
  // The document was fetched all the same.
  EXPECT_EQ(ReadAnsi(cache_ + "a.unknown"), "data");
}

TEST_F(OpenTest, AMissingDocumentIsNotOpened) {
  rt::testing::SetEnv("LABDOCS_OPEN_COMMAND", script_.string());
  std::uint8_t ok = 0xAA;
  EXPECT_EQ(store_.Open(77, &ok), S_OK);
  EXPECT_EQ(ok, 0);
  // A document opened afterwards is the first thing the script records.
  const std::int32_t doc_id = Save(WriteSource("b.txt", "b"));
  ASSERT_EQ(store_.Open(doc_id, &ok), S_OK);
  EXPECT_EQ(Recorded(), rt::platform::ToNativePath(cache_ + "b.txt"));
}

}  // namespace
}  // namespace labdocs::labdoc::testing
