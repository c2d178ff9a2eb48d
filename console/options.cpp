#include "console/options.h"

#include <string_view>

namespace console {

const char* UsageText() {
  return u8R"(Usage: labdocs-console [options]

The host console of the laboratory documents plug-in: the view tree, the
documents' lists, context menus, commands and their forms, in the terminal.
A person types commands at the prompt; a script gives the same commands one
per line (see README.md for the commands; "help" lists them).

Options:
  --home DIR           the host's home folder (its base directory) holding
                       labdocs.db, DocCache/ and Configs/MMCImages/32×32/;
                       made when missing (default: the current folder; on
                       Windows the user's %LOCALAPPDATA%\labdocs)
  --database SERVER    a laboratory's shared PostgreSQL database instead of
                       the home folder's labdocs.db: a connection string,
                       "postgresql://user@host/db" or "host=... dbname=..."
                       (docs/database.md); an empty database gets the schema
                       and, unless --empty, the demo data. On a network that
                       is not trusted, demand a verified server:
                       "host=... dbname=... sslmode=verify-full
                       sslrootcert=FILE" with the laboratory's CA certificate
                       in FILE. The password belongs in libpq's password
                       file, not here. The console names the database and
                       whether the connection is encrypted and the server
                       verified as it starts
  --empty              a new home folder gets an empty database instead of
                       the demo data
  --allow-sql-writes   let the sql command change the database; without it the
                       database refuses every change that sql asks for
  --answer yes|no      answer every question so, without waiting for an
                       answer (unattended scripts; the transcript shows each
                       question and its answer)
  --script FILE        run the commands in FILE ("-": standard input); without
                       it the console reads standard input, as a script when
                       that is not a terminal
  --plugin FILE        the view plug-in to load (default labdocs.dll, which
                       finds labdocs.so beside the console)
  --user-id ID         the logged-on user's id (default admin)
  --user-name NAME     the user's name (default 系统管理员)
  --computer NAME      the workstation's name (default: this machine's)
  --sys-code CODE      the subsystem the user works in (default LIS_DIRECTOR)
  --display-style N    the style number of skinned frames (default 0)
  --version            show the program's version
  -h, --help           show this text

Exit codes:
  0 the session or script ran to its end   4 the plug-in or an export is missing
  1 an unexpected error                    5 a malformed script line
  2 a bad command line                     6 a script command failed
  3 the home folder or database failed     7 a script expectation was not met
)";
}

Options ParseOptions(const std::vector<std::string>& arguments) {
  using hostcore::UsageError;
  Options options;
  hostcore::ArgumentReader argument(arguments);
  while (argument.Next()) {
    const std::string_view name = argument.Name();
    if (name == "--allow-sql-writes") {
      argument.NoValue();
      options.allow_sql_writes = true;
    } else if (name == "--answer") {
      const std::string answer = argument.Value();
      if (answer != "yes" && answer != "no") throw UsageError("--answer takes yes or no, not '" + answer + "'");
      options.answer = answer == "yes";
    } else if (name == "--script") {
      options.script = argument.Value();
    } else if (!options.Read(argument)) {
      argument.Unknown();
    }
  }
  if (options.script && options.script->empty())
    throw UsageError("--script needs a file name, or - for standard input");
  if (options.plugin.empty()) throw UsageError("--plugin needs a file name");
  return options;
}

}  // namespace console
