// Which database a connection reaches (Connection::Identity): what of the
// options libpq connected with names the database, nothing of the login or
// of how the connection is made, so that several logins of one laboratory
// and every spelling of its setting give one identity.
#include <libpq-fe.h>

#include <cctype>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/postgres/connection.h"

namespace rt::postgres {
namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// The words of libpq's options value as the server reads them: split at
// blanks, a backslash keeping the character after it in the word.
std::vector<std::string> Words(std::string_view options) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false;
  for (std::size_t i = 0; i < options.size(); ++i) {
    if (IsBlank(options[i])) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
      continue;
    }
    if (options[i] == '\\' && i + 1 < options.size()) ++i;
    word += options[i];
    in_word = true;
  }
  if (in_word) words.push_back(word);
  return words;
}

// A search path as the server reads it: its names without the blanks
// around them, those not in double quotes in lower case.
std::string Normalized(std::string_view path) {
  std::string normal;
  bool quoted = false;
  for (const char c : path) {
    if (c == '"') quoted = !quoted;
    if (!quoted && IsBlank(c)) continue;
    normal += quoted ? c : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return normal;
}

// The search path that libpq's options value sets: "-c search_path=...",
// "-csearch_path=..." or "--search_path=..." ('-' in the name read as '_'),
// the last one counting; empty when it sets none.
std::string SearchPathIn(std::string_view options) {
  const std::vector<std::string> words = Words(options);
  std::string path;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string setting;
    if (words[i] == "-c" && i + 1 < words.size()) setting = words[++i];
    else if (words[i].size() > 2 && (words[i].starts_with("-c") || words[i].starts_with("--")))
      setting = words[i].substr(2);
    const std::size_t equals = setting.find('=');
    if (equals == std::string::npos) continue;
    std::string name = setting.substr(0, equals);
    for (char& c : name) c = c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "search_path") path = Normalized(std::string_view(setting).substr(equals + 1));
  }
  return path;
}

}  // namespace

std::string Connection::Identity() const {
  std::string host, hostaddr, port, dbname, options;
  const std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> used(PQconninfo(conn_), &PQconninfoFree);
  for (const PQconninfoOption* option = used.get(); option != nullptr && option->keyword != nullptr; ++option) {
    if (option->val == nullptr) continue;
    const std::string_view keyword = option->keyword;
    if (keyword == "host") host = option->val;
    else if (keyword == "hostaddr") hostaddr = option->val;
    else if (keyword == "port") port = option->val;
    else if (keyword == "dbname") dbname = option->val;
    else if (keyword == "options") options = option->val;
  }
  // What libpq chose where the setting and the environment give nothing:
  // the default socket folder or host, port and database.
  const auto chosen = [](const char* value) { return std::string(value != nullptr ? value : ""); };
  if (host.empty() && hostaddr.empty()) host = chosen(PQhost(conn_));
  if (port.empty()) port = chosen(PQport(conn_));
  if (dbname.empty()) dbname = chosen(PQdb(conn_));
  return "server:host=" + host + " hostaddr=" + hostaddr + " port=" + port + " dbname=" + dbname +
         " search_path=" + SearchPathIn(options);
}

}  // namespace rt::postgres
