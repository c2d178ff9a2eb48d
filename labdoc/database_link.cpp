#include "labdoc/database_link.h"

#include <optional>

#include "runtime/errors.h"
#include "runtime/platform/platform.h"
#include "runtime/platform/variable.h"
#include "runtime/services/environment.h"

namespace labdocs::labdoc {

std::string LocateDatabase() {
  // In UTF-8, as SQLite takes a file's name (a native path, which getenv
  // would give on Windows in the ANSI code page).
  if (const std::optional<std::string> named = rt::platform::Utf8Variable(kDatabaseVariable)) return *named;
  return rt::platform::SqliteFileName(rt::Environment().base_dir + kDatabaseFileName);
}

bool DatabaseLink::SessionKey::Is(const rt::DataSession& session) const {
  return address == &session && *type == typeid(session) && identity == session.Identity();
}

void DatabaseLink::Connect() {
  if (rt::HasSession() || own_) return;
  const std::string path = LocateDatabase();
  try {
    own_ = rt::Connect(path, rt::OpenMode::OpenExisting);
  } catch (const rt::EDatabaseError& error) {
    // The variable may name a server with a password: the message shows
    // the setting as a session would, without it.
    throw rt::EDatabaseError("文档库无法打开数据库 " + rt::ShownSetting(path) + ": " + error.what());
  }
  Get().TuneOwnConnection();
}

ContentStorage& DatabaseLink::Get() {
  rt::DataSession& session = rt::HasSession() ? rt::CurrentDataSession() : (Connect(), *own_);
  if (storage_ && storage_key_.Is(session)) {
    storage_->Ready();
    return *storage_;
  }
  storage_.reset();
  storage_ = MakeContentStorage(session);
  storage_key_ = {&session, &typeid(session), session.Identity()};
  return *storage_;
}

void DatabaseLink::Disconnect() {
  storage_.reset();
  own_.reset();
}

}  // namespace labdocs::labdoc
