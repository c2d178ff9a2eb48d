// The administration program's command line.
#include "admin/options.h"

#include <gtest/gtest.h>

namespace admin {
namespace {

TEST(AdminOptionsTest, ReadsCommandsAndTheirOptions) {
  const Options check = ParseOptions({"--home", u8"/tmp/家", "check", "--progress"});
  EXPECT_EQ(check.command, Command::Check);
  EXPECT_EQ(check.home, u8"/tmp/家");
  EXPECT_TRUE(check.progress);

  const Options file = ParseOptions({"file", "12", "3", "--user-name=" + std::string(u8"张亅"), "--computer", "PC-7",
                                     "--database", "host=lab-db dbname=labdocs"});
  EXPECT_EQ(file.command, Command::File);
  EXPECT_EQ(file.record_id, 12);
  EXPECT_EQ(file.directory_id, 3);
  EXPECT_EQ(file.workstation.user_name, std::optional<std::string>("张亅"));  // GBK
  EXPECT_EQ(file.workstation.computer_name, std::optional<std::string>("PC-7"));
  EXPECT_EQ(file.workstation.user_id, std::nullopt);
  EXPECT_EQ(file.database, "host=lab-db dbname=labdocs");

  const Options backup = ParseOptions({"--home", u8"/tmp/家", "backup", u8"/备份/一"});
  EXPECT_EQ(backup.command, Command::Backup);
  EXPECT_EQ(backup.folder, u8"/备份/一");
  EXPECT_EQ(ParseOptions({"restore", "/b"}).command, Command::Restore);
  const Options moved = ParseOptions({"--home", "/h", "move-to-server", "host=lab-db dbname=labdocs"});
  EXPECT_EQ(moved.command, Command::MoveToServer);
  EXPECT_EQ(moved.server, "host=lab-db dbname=labdocs");
  const Options back = ParseOptions({"--database", "host=lab-db", "move-to-home", "/h2"});
  EXPECT_EQ(back.command, Command::MoveToHome);
  EXPECT_EQ(back.folder, "/h2");

  using labdocs::labdoc::Retention;
  const struct {
    std::vector<std::string> arguments;
    std::optional<Retention> retention;  // nothing: shown, not set
  } retentions[] = {
      {{"retention"}, std::nullopt},
      {{"retention", "keep-all"}, Retention{}},
      {{"retention", "last", "2"}, Retention{Retention::Kind::KeepLast, 2}},
      {{"retention", "days", "30"}, Retention{Retention::Kind::KeepDays, 30}},
  };
  for (const auto& c : retentions) {
    const Options retention = ParseOptions(c.arguments);
    EXPECT_EQ(retention.command, Command::Retention);
    EXPECT_EQ(retention.retention, c.retention) << c.arguments.size();
  }
  EXPECT_EQ(ParseOptions({"prune"}).command, Command::Prune);

  EXPECT_EQ(ParseOptions({"check", "--help"}).command, Command::Help);
}

TEST(AdminOptionsTest, RefusesWhatItCannotFollow) {
  const struct {
    std::vector<std::string> arguments;
    const char* says;
  } cases[] = {
      {{}, "a command is needed"},
      {{"verify"}, "unknown command 'verify'"},
      {{"check", "extra"}, "check takes no arguments"},
      {{"file", "12"}, "file takes a record's ID and a directory's ID"},
      {{"file", "12", "x3"}, "DIRECTORY_ID must be a positive whole number, not 'x3'"},
      {{"file", "0", "3"}, "RECORD_ID must be a positive whole number, not '0'"},
      {{"check", "--home"}, "--home needs a value"},
      {{"check", "--progress=yes"}, "--progress takes no value"},
      {{"check", "--database", "/tmp/labdocs.db"}, "--database takes a PostgreSQL connection string"},
      {{"check", "--user-name", "\xff"}, "--user-name: the value is not valid UTF-8"},
      {{"check", "--verbose"}, "unknown option '--verbose'"},
      {{"backup"}, "backup takes the new folder to copy into"},
      {{"restore", "/b", "/c"}, "restore takes a backup's folder"},
      {{"move-to-home", "/b"}, "move-to-home copies a server's database (--database SERVER)"},
      {{"move-to-server"}, "move-to-server takes the server's database"},
      {{"move-to-server", "/tmp/labdocs.db"}, "move-to-server takes a PostgreSQL connection string"},
      {{"--database", "host=a", "move-to-server", "host=b"}, "move-to-server copies a home folder's database"},
      {{"retention", "last"}, "retention takes nothing (to show it), or keep-all, last N or days N"},
      {{"retention", "keep"}, "retention takes nothing"},
      {{"retention", "days", "0"}, "N must be a positive whole number, not '0'"},
      {{"retention", "last", "2x"}, "N must be a positive whole number, not '2x'"},
      {{"prune", "now"}, "prune takes no arguments"},
  };
  for (const auto& c : cases) {
    try {
      ParseOptions(c.arguments);
      ADD_FAILURE() << "accepted: " << c.says;
    } catch (const UsageError& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace admin
