// A cached copy that is, on its disk, exactly what it was when it was last
// found to hold its content is handed out without being read; any change
// that the system records sends it back to the check by its digest.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "labdoc/testing/store_fixture.h"
#include "runtime/platform/identity.h"
#include "runtime/platform/sleep.h"

namespace labdocs::labdoc::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SettledCopyTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    folder_.Write("identity.txt", "x");
    if (!rt::platform::IdentityOf(folder_.Native("identity.txt").string()))
      GTEST_SKIP() << "this system's layer reads no file identity: every copy is checked by its digest";
  }
  std::int64_t RecordedIdentities() {
    return IndexInteger(
        cache_, "SELECT count(*) FROM CACHED_COPY WHERE DISK_DEVICE IS NOT NULL AND DISK_CHANGED_NS IS NOT NULL");
  }
  // The content and the copy's record take a digest the copy does not have:
  // a fetch that reads the copy can no longer hand it out.
  void GiveTheContentAnotherDigest(std::int32_t doc_id) {
    const std::string other(64, 'f');
    rt::CurrentDataSession().ExecuteBound("UPDATE DB_FILE_CONTENT SET SHA256 = ? WHERE LABDOC_ID = ?", {other, doc_id});
    ChangeIndex(cache_, "UPDATE CACHED_COPY SET SHA256 = '" + other + "' WHERE LABDOC_ID = " + std::to_string(doc_id));
  }
  static void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
};

TEST_F(SettledCopyTest, ASettledCopyOnceCheckedIsAnsweredWithoutBeingRead) {
  const std::int32_t doc_id = Save(WriteSource("plan.txt", "the plan, first version"));
  const std::string path = Fetch(doc_id);
  EXPECT_EQ(Fetch(doc_id), path);
  EXPECT_EQ(RecordedIdentities(), 0) << "a copy changed within the last two seconds is not trusted by its times";
  rt::platform::SleepFor(2100ms);
  EXPECT_EQ(Fetch(doc_id), path);  // read and found current once more; now settled
  EXPECT_EQ(RecordedIdentities(), 1);
  GiveTheContentAnotherDigest(doc_id);
  EXPECT_EQ(Fetch(doc_id), path);
}

TEST_F(SettledCopyTest, AnyRecordedChangeOnDiskSendsTheCopyBackToItsDigest) {
  struct Change {
    const char* what;
    std::function<void(const fs::path&, const std::string& bytes)> apply;
  };
  const std::vector<Change> changes = {
      {"rewritten with the same bytes", [](const fs::path& copy, const std::string& bytes) { Write(copy, bytes); }},
      {"other bytes of the same size, modification time put back",
       [](const fs::path& copy, const std::string& bytes) {
         const auto modified = fs::last_write_time(copy);
         Write(copy, std::string(bytes.size(), 'x'));
         fs::last_write_time(copy, modified);
       }},
      {"replaced by a copy of itself",
       [](const fs::path& copy, const std::string&) {
         const fs::path other = copy.string() + ".other";
         fs::copy_file(copy, other);
         fs::rename(other, copy);
       }},
  };
  std::vector<std::pair<std::int32_t, std::string>> fetched;
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const std::int32_t doc_id = Save(WriteSource("doc" + std::to_string(i) + ".txt", "content " + std::to_string(i)));
    fetched.emplace_back(doc_id, Fetch(doc_id));
  }
  rt::platform::SleepFor(2100ms);
  for (const auto& [doc_id, path] : fetched) EXPECT_EQ(Fetch(doc_id), path);
  ASSERT_EQ(RecordedIdentities(), static_cast<std::int64_t>(changes.size()));
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const auto& [doc_id, path] = fetched[i];
    const fs::path native = rt::platform::NativePath(path);
    changes[i].apply(native, ReadAnsi(path));
    GiveTheContentAnotherDigest(doc_id);
    std::uint8_t ok = 0xAA;
    std::string answer;
    EXPECT_NE(Get(doc_id, ok, answer), S_OK) << changes[i].what;
    EXPECT_EQ(ok, 0) << changes[i].what;
  }
}

}  // namespace
}  // namespace labdocs::labdoc::testing
