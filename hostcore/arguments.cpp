#include "hostcore/arguments.h"

#include "runtime/data/session.h"
#include "runtime/text/gbk.h"

namespace hostcore {

bool ArgumentReader::Next() {
  if (next_ >= arguments_.size()) return false;
  name_ = arguments_[next_++];
  value_.clear();
  has_value_ = false;
  if (name_.rfind("--", 0) == 0) {
    const std::size_t equals = name_.find('=');
    if (equals != std::string_view::npos) {
      value_ = std::string(name_.substr(equals + 1));
      name_ = name_.substr(0, equals);
      has_value_ = true;
    }
  }
  return true;
}

std::string ArgumentReader::Value() {
  if (has_value_) return value_;
  if (next_ >= arguments_.size()) throw UsageError(std::string(name_) + " needs a value");
  return arguments_[next_++];
}

std::string ArgumentReader::GbkValue() {
  const std::string text = Value();
  try {
    return rt::gbk::FromUtf8(text);
  } catch (const rt::EConvertError&) {
    throw UsageError(std::string(name_) + ": the value is not valid UTF-8");
  }
}

void ArgumentReader::NoValue() const {
  if (has_value_) throw UsageError(std::string(name_) + " takes no value");
}

void ArgumentReader::Unknown() const {
  throw UsageError("unknown option '" + std::string(name_) + "' (--help lists the options)");
}

bool Workstation::Read(ArgumentReader& argument) {
  const std::string_view name = argument.Name();
  std::optional<std::string>* value = name == "--user-id"     ? &user_id
                                      : name == "--user-name" ? &user_name
                                      : name == "--computer"  ? &computer_name
                                                              : nullptr;
  if (value == nullptr) return false;
  *value = argument.GbkValue();
  return true;
}

void Workstation::ApplyTo(rt::HostEnvironment& environment) const {
  if (user_id) environment.user_id = *user_id;
  if (user_name) environment.user_name = *user_name;
  if (computer_name) environment.computer_name = *computer_name;
}

std::string ServerSetting(std::string setting, std::string_view what) {
  if (!rt::NamesServer(setting))
    throw UsageError(std::string(what) +
                     " takes a PostgreSQL connection string (postgresql://... or host=... dbname=...), "
                     "and what it was given is none; the embedded database is the home folder's labdocs.db");
  return setting;
}

}  // namespace hostcore
