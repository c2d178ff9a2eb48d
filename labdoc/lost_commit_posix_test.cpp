// A store whose last COMMIT loses its answer on the way back from the
// server (a proxy cuts the connection there: cutting_proxy.h): a document
// that went in is reported done and stays whole, and one that did not is
// reported failed and leaves nothing behind once the next store has
// started, also when the connection could not learn what became of the
// commit (the store's own row tells then).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "labdoc/testing/store_fixture.h"
#ifdef LABDOCS_TESTS_HAVE_POSTGRES
#include "runtime/data/postgres/testing/cutting_proxy.h"
#include "runtime/data/postgres/testing/test_server.h"
#endif

namespace labdocs::labdoc::testing {
namespace {

#ifdef LABDOCS_TESTS_HAVE_POSTGRES
using rt::postgres::testing::CuttingProxy;

TEST_F(StoreTest, AStoreWhoseCommitLostItsAnswerKeepsWhatTheServerKept) {
  if (!OnServer()) GTEST_SKIP() << "only a server's answer is lost on the way";
  CuttingProxy proxy(rt::postgres::testing::ServerConnectionString());
  rt::OpenSession(proxy.Through(Setting()), rt::OpenMode::OpenExisting);  // the store's
  const std::unique_ptr<rt::DataSession> direct = rt::Connect(Setting(), rt::OpenMode::OpenExisting);
  const auto count = [&](const char* sql, const std::vector<rt::Value>& params) {
    return std::get<std::int64_t>(direct->QueryBound(sql, params).rows.at(0).at(0));
  };
  const struct {
    const char* what;
    CuttingProxy::Cut cut;
    bool unanswerable;  // the connection cannot learn what became of it
    bool kept;
  } cases[] = {
      {"cut before the server saw it", CuttingProxy::Cut::BeforeCommit, false, false},
      {"cut after the server committed", CuttingProxy::Cut::AfterCommit, false, true},
      {"cut before it, not known", CuttingProxy::Cut::BeforeCommit, true, false},
      {"cut after it, not known", CuttingProxy::Cut::AfterCommit, true, true},
  };
  int cuts = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string name = "doc" + std::to_string(cuts) + ".bin";
    const std::string content = Content(2 * 1024 * 1024 + 17, static_cast<unsigned>(cuts));  // three chunks
    std::vector<char> path(kFilePathBufferSize, '\0');
    WriteSource(name, content).copy(path.data(), path.size() - 1);
    // The store's last transaction: its content becomes the document's.
    proxy.Arm(c.cut, "UPDATE DB_FILE_STORAGE SET", c.unanswerable);
    std::int32_t doc_id = 0;
    std::uint8_t ok = 0;
    const HRESULT status = store_.SaveLabDoc(path.data(), &doc_id, &ok);
    proxy.Heal();
    EXPECT_EQ(proxy.Cuts(), ++cuts);
    EXPECT_EQ(status == S_OK && ok == 1, c.kept) << Described(status);
    if (c.kept) {
      EXPECT_EQ(direct
                    ->QueryBound("SELECT 1 FROM DB_FILE_STORAGE WHERE LABDOC_ID = ? AND FILE_NAME = ?",
                                 {std::int64_t{doc_id}, name})
                    .rows.size(),
                1u)
          << "the number reported";
    }
    // The next store's start sweeps what no live store owns.
    ASSERT_EQ(store_.FreeLabDoc(), S_OK);
    ASSERT_EQ(StartStoring(cache_), S_OK);
    const rt::RowSet documents = direct->QueryBound("SELECT LABDOC_ID FROM DB_FILE_STORAGE WHERE FILE_NAME = ?",
                                                    {name});
    ASSERT_EQ(documents.rows.size(), c.kept ? 1u : 0u);
    if (c.kept) {
      const auto doc_id_kept = static_cast<std::int32_t>(std::get<std::int64_t>(documents.rows[0][0]));
      EXPECT_EQ(DigestOf(ReadAnsi(Fetch(doc_id_kept))), DigestOf(content));
    }
    EXPECT_EQ(count("SELECT count(*) FROM DB_FILE_CONTENT WHERE PENDING = 1", {}), 0);
    EXPECT_EQ(count("SELECT count(*) FROM DB_FILE_CHUNK k WHERE NOT EXISTS"
                    " (SELECT 1 FROM DB_FILE_CONTENT c WHERE c.CONTENT_ID = k.CONTENT_ID)",
                    {}),
              0);
  }
  rt::OpenSession(Setting());  // the proxy goes first
}
#endif

}  // namespace
}  // namespace labdocs::labdoc::testing
