// The PostgreSQL client against a real server: the throw-away one CTest
// starts in the build tree (LABDOCS_TEST_POSTGRES names the file holding its
// connection string).
#include "runtime/data/postgres/connection.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "runtime/data/datetime_text.h"
#include "runtime/data/postgres/database.h"
#include "runtime/data/postgres/testing/test_server.h"

namespace rt::postgres {
namespace {

class ConnectionTest : public testing::ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (db_) connection_ = &db_->Link();
  }
  Connection* connection_ = nullptr;
};

TEST(NumberParametersTest, QuestionMarksOutsideTextsNamesAndComments) {
  const struct {
    const char* sql;
    const char* numbered;
  } cases[] = {
      {"SELECT ?", "SELECT $1"},
      {"INSERT INTO t(a, b) VALUES(?, ?)", "INSERT INTO t(a, b) VALUES($1, $2)"},
      {"SELECT '?', \"a?\" FROM t WHERE x = ?", "SELECT '?', \"a?\" FROM t WHERE x = $1"},
      {"SELECT 'it''s ?' || ?", "SELECT 'it''s ?' || $1"},
      {"SELECT ? -- why?\n, ?", "SELECT $1 -- why?\n, $2"},
      {"SELECT /* ? */ ?", "SELECT /* ? */ $1"},
      {"SELECT '?", "SELECT '?"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberParameters(c.sql), c.numbered) << c.sql;
}

// A setting that asks for encryption gets an encrypted connection, one that
// refuses it a plain one: through the system's libpq on Linux, through the
// one built with OpenSSL on Windows. Over the loopback address: a Unix
// socket is never encrypted.
TEST(EncryptionTest, TheSettingDecidesWhetherTheConnectionIsEncrypted) {
  const std::string conninfo = testing::ServerConnectionString("LABDOCS_TEST_POSTGRES_TCP");
  if (conninfo.empty()) GTEST_SKIP() << "no tests' server (LABDOCS_TEST_POSTGRES_TCP)";
  for (const auto& [mode, encrypted] : {std::pair{"require", true}, std::pair{"disable", false}}) {
    Connection connection(conninfo + " sslmode=" + mode);
    const RowSet rows = connection.QueryBound("SELECT ssl FROM pg_stat_ssl WHERE pid = pg_backend_pid()", {});
    ASSERT_EQ(rows.rows.size(), 1u) << mode;
    EXPECT_EQ(rows.rows[0][0], Value(std::int64_t{encrypted ? 1 : 0})) << mode;
  }
}

// A setting that demands a verified server (sslmode=verify-full, or
// verify-ca, with the laboratory's authority in sslrootcert) connects to the
// tests' server, whose certificate that authority signed for localhost and
// 127.0.0.1, and the session says so; a server that the setting's
// authority did not sign, or whose certificate does not name the host the
// setting gives, is refused, and the refusal holds no password.
TEST(VerificationTest, AVerifiedServerIsToldApartAndAnUnverifiableOneRefused) {
  const std::string tcp = testing::ServerConnectionString("LABDOCS_TEST_POSTGRES_TCP");
  if (tcp.empty()) GTEST_SKIP() << "no tests' server (LABDOCS_TEST_POSTGRES_TCP)";
  const std::string laboratory = testing::AuthorityOption("root.crt");
  const std::string other = testing::AuthorityOption("other-root.crt");
  const struct {
    const char* what;
    std::string options;         // after the tests' setting over 127.0.0.1
    std::optional<Reach> reach;  // none: refused
    const char* status;          // the status line's end, or part of the refusal
  } cases[] = {
      {"verified over 127.0.0.1", " sslmode=verify-full" + laboratory, Reach::Verified, "(已加密, 服务器已验证)"},
      {"verified as localhost", " host=localhost sslmode=verify-full" + laboratory, Reach::Verified,
       "(已加密, 服务器已验证)"},
      {"the authority checked, not the name", " host=lab-db.invalid hostaddr=127.0.0.1 sslmode=verify-ca" + laboratory,
       Reach::Verified, "(已加密, 服务器已验证)"},
      {"encrypted, not checked", " sslmode=require", Reach::Encrypted, "(已加密, 未验证服务器)"},
      {"not encrypted", " sslmode=disable", Reach::Unencrypted, "(未加密)"},
      {"another authority", " sslmode=verify-full" + other, std::nullopt, "certificate"},
      {"a name the certificate does not hold",
       " host=lab-db.invalid hostaddr=127.0.0.1 sslmode=verify-full" + laboratory, std::nullopt, "lab-db.invalid"},
  };
  for (const auto& c : cases) {
    const std::string setting = tcp + c.options + " password=Geheim-7731";
    try {
      const Database database(setting);
      ASSERT_TRUE(c.reach) << c.what << ": connected";
      EXPECT_EQ(database.Reached(), *c.reach) << c.what;
      const std::string status = StatusLine(database);
      EXPECT_EQ(status.substr(status.size() - std::string(c.status).size()), c.status) << c.what << ": " << status;
      EXPECT_EQ(status.rfind("数据库: ", 0), 0u) << c.what << ": " << status;
      EXPECT_NE(status.find(" dbname=labdocs"), std::string::npos) << c.what << ": " << status;
      EXPECT_EQ(status.find("Geheim"), std::string::npos) << c.what << ": " << status;
    } catch (const EDatabaseError& error) {
      const std::string message = error.what();
      EXPECT_FALSE(c.reach) << c.what << ": " << message;
      EXPECT_NE(message.find(c.status), std::string::npos) << c.what << ": " << message;
      EXPECT_EQ(message.find("Geheim"), std::string::npos) << c.what << ": " << message;
    }
  }
}

// Every kind of value goes in as a parameter and comes back with its type:
// GBK texts with a trail byte that is an ASCII '\' or '|', the extremes of
// the integers, a float, a time to the millisecond, bytes with zeros, null.
TEST_F(ConnectionTest, ValuesRoundTripWithTheirTypes) {
  connection_->ExecuteBound(
      "CREATE TEMP TABLE t(n bigint, f double precision, s text, d timestamp, b bytea, flag boolean)", {});
  const DateTime when = datetime::Encode({2019, 6, 12, 14, 5, 0, 123});
  const std::vector<std::vector<Value>> rows = {
      {std::int64_t{std::numeric_limits<std::int64_t>::max()}, 2.5, std::string("乗表 \"附录\" 淺"), when,
       std::vector<std::uint8_t>{0x00, 0x5C, 0xFF}, std::int64_t{1}},
      {std::int64_t{std::numeric_limits<std::int64_t>::min()}, -0.125, std::string(""), Value{},
       std::vector<std::uint8_t>{}, std::int64_t{0}},
      {Value{}, Value{}, Value{}, Value{}, Value{}, Value{}},
  };
  for (const std::vector<Value>& row : rows) {
    std::vector<Value> params = row;
    // Booleans go in as the texts the server reads.
    if (const auto* flag = std::get_if<std::int64_t>(&params[5])) params[5] = std::string(*flag ? "true" : "false");
    EXPECT_EQ(connection_->ExecuteBound("INSERT INTO t VALUES(?, ?, ?, ?, ?, ?)", params), 1);
  }
  const RowSet read = connection_->QueryBound(u8"SELECT n, f, s, d, b, flag AS 标志 FROM t ORDER BY n NULLS LAST", {});
  EXPECT_EQ(read.fields, (std::vector<FieldDef>{{"n", FieldType::Integer},
                                                {"f", FieldType::Float},
                                                {"s", FieldType::Text},
                                                {"d", FieldType::DateTime},
                                                {"b", FieldType::Blob},
                                                {"标志", FieldType::Integer}}));
  ASSERT_EQ(read.rows.size(), 3u);
  EXPECT_EQ(read.rows[0], rows[1]);
  EXPECT_EQ(read.rows[1], rows[0]);
  EXPECT_EQ(read.rows[2], rows[2]);
  // The text is compared by the server as the characters it is.
  EXPECT_EQ(connection_->QueryBound("SELECT count(*) FROM t WHERE s LIKE ?", {std::string("乗%")}).rows[0][0],
            Value{std::int64_t{1}});
  // Bytes alone come in their binary form, the same bytes.
  const char* kBytesOf = "SELECT b FROM t WHERE n = ?";
  EXPECT_EQ(connection_->QueryBytes(kBytesOf, {std::numeric_limits<std::int64_t>::max()}),
            (std::vector<std::uint8_t>{0x00, 0x5C, 0xFF}));
  EXPECT_EQ(connection_->QueryBytes(kBytesOf, {std::numeric_limits<std::int64_t>::min()}), std::vector<std::uint8_t>{});
  EXPECT_EQ(connection_->QueryBytes("SELECT b FROM t WHERE n IS NULL", {}), std::nullopt);
  EXPECT_EQ(connection_->QueryBytes(kBytesOf, {std::int64_t{7}}), std::nullopt);
  EXPECT_THROW(connection_->QueryBytes("SELECT s FROM t", {}), EDatabaseError);
}

TEST_F(ConnectionTest, FailuresNameTheServersComplaint) {
  const struct {
    const char* what;
    const char* sql;
    std::vector<Value> params;
    const char* reason;  // part of the message
  } cases[] = {
      {"a statement the server rejects", "SELEC 1", {}, "SQLSTATE 42601"},
      {"a missing table", "SELECT * FROM no_such_table", {}, "SQLSTATE 42P01"},
      {"a text that is not GBK", "SELECT ?", {std::string("\x81")}, "not GBK"},
      {"a value of the wrong kind", "SELECT 1 + ?", {std::string("一")}, "SQLSTATE 22P02"},
  };
  for (const auto& c : cases) {
    try {
      connection_->QueryBound(c.sql, c.params);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const EDatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << c.what << ": " << error.what();
    }
  }
  // The connection stays usable.
  EXPECT_EQ(connection_->QueryBound("SELECT 7", {}).rows[0][0], Value{std::int64_t{7}});
  EXPECT_THROW(Connection("host=/nonexistent/labdocs port=1 dbname=none connect_timeout=2"), EDatabaseError);
}

TEST_F(ConnectionTest, ATransactionRolledBackLeavesNothing) {
  connection_->ExecuteBound("CREATE TEMP TABLE t(n integer)", {});
  EXPECT_FALSE(connection_->InTransaction());
  connection_->ExecuteBound("BEGIN", {});
  EXPECT_TRUE(connection_->InTransaction());
  EXPECT_EQ(connection_->ExecuteBound("INSERT INTO t VALUES (?), (?)", {std::int64_t{1}, std::int64_t{2}}), 2);
  connection_->ExecuteBound("ROLLBACK", {});
  EXPECT_FALSE(connection_->InTransaction());
  EXPECT_EQ(connection_->QueryBound("SELECT count(*) FROM t", {}).rows[0][0], Value{std::int64_t{0}});
}

}  // namespace
}  // namespace rt::postgres
