#include "runtime/data/session.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

#include "runtime/data/packet.h"
#include "runtime/data/server.h"
#include "runtime/data/sqlite/database.h"
#include "runtime/ole/variant.h"
#include "runtime/text/gbk.h"

namespace rt {
namespace {

std::mutex session_mutex;
std::unique_ptr<DataSession> session;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

}  // namespace

OleVariant DataSession::QueryPacket(std::string_view tsql) {
  OleVariant packet;
  PacketToVariant(Query(tsql), packet.Ptr());
  return packet;
}

std::optional<std::vector<std::uint8_t>> DataSession::QueryBytes(std::string_view sql_utf8,
                                                                 const std::vector<Value>& params) {
  RowSet rows = QueryBound(sql_utf8, params);
  if (rows.rows.empty() || std::holds_alternative<std::monostate>(rows.rows[0].at(0))) return std::nullopt;
  auto* bytes = std::get_if<std::vector<std::uint8_t>>(&rows.rows[0][0]);
  if (bytes == nullptr) throw EDatabaseError("Database error: the query gives no single column of bytes");
  return std::move(*bytes);
}

Transaction::Transaction(DataSession& session, Kind kind) : session_(session), outermost_(!session.InTransaction()) {
  if (outermost_) session_.Begin(kind == Kind::Immediate);
  else session_.Control("SAVEPOINT rt_transaction");
}

Transaction::~Transaction() {
  if (done_) return;
  try {
    // An error may have rolled the whole transaction back already.
    if (!session_.InTransaction()) return;
    if (outermost_) {
      session_.Control("ROLLBACK");
    } else {
      session_.Control("ROLLBACK TO rt_transaction");
      session_.Control("RELEASE rt_transaction");
    }
  } catch (const std::exception&) {
    // The connection is broken; the engine ends the transaction with it.
  }
}

void Transaction::Commit() {
  session_.Control(outermost_ ? "COMMIT" : "RELEASE rt_transaction");
  done_ = true;
  session_.AfterCommit();
}

bool NamesServer(std::string_view setting) {
  if (StartsWith(setting, "postgresql://") || StartsWith(setting, "postgres://")) return true;
  // libpq's "key=value ..." form: a word of letters and underscores, then '='.
  std::size_t i = 0;
  while (i < setting.size() && (std::isalpha(static_cast<unsigned char>(setting[i])) || setting[i] == '_')) ++i;
  while (i < setting.size() && setting[i] == ' ') ++i;
  return i > 0 && i < setting.size() && setting[i] == '=';
}

std::string ShownSetting(const std::string& setting) {
  const std::string shown = NamesServer(setting) ? ShownServerSetting(setting) : setting;
  try {
    return gbk::FromUtf8(shown);
  } catch (const EConvertError&) {
    return shown;
  }
}

std::string ReachText(Reach reach) {
  switch (reach) {
    case Reach::LocalFile: break;
    case Reach::Unencrypted: return "未加密";
    case Reach::Encrypted: return "已加密, 未验证服务器";
    case Reach::Verified: return "已加密, 服务器已验证";
  }
  return "本机文件";
}

std::string StatusLine(const DataSession& session) {
  return "数据库: " + session.Shown() + " (" + ReachText(session.Reached()) + ")";
}

std::unique_ptr<DataSession> Connect(const std::string& setting, OpenMode mode) {
  if (NamesServer(setting)) return ConnectServer(setting, mode);
  return std::make_unique<sqlite::Database>(setting, mode);
}

void OpenSession(const std::string& setting, OpenMode mode) { AdoptSession(Connect(setting, mode)); }

void AdoptSession(std::unique_ptr<DataSession> opened) {
  std::lock_guard lock(session_mutex);
  session = std::move(opened);
}

void CloseSession() {
  std::unique_ptr<DataSession> closing;
  std::lock_guard lock(session_mutex);
  closing = std::move(session);
}

bool HasSession() {
  std::lock_guard lock(session_mutex);
  return session != nullptr;
}

DataSession& CurrentDataSession() {
  std::lock_guard lock(session_mutex);
  if (!session) throw EDatabaseError("No database session is open");
  return *session;
}

void RequirePlainName(std::string_view name) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  if (name.empty() || (name[0] >= '0' && name[0] <= '9') || !std::all_of(name.begin(), name.end(), plain))
    throw EDatabaseError("Database error: '" + std::string(name) + "' is not a name of the system's tables");
}

}  // namespace rt
