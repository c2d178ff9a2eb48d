#include "runtime/data/server.h"

namespace rt {

std::unique_ptr<DataSession> ConnectServer(const std::string&, OpenMode) {
  throw EDatabaseError("This build of the system has no PostgreSQL client; it works on SQLite files only");
}

std::string ShownServerSetting(const std::string&) { return kUnshownConnection; }

}  // namespace rt
