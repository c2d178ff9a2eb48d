#include "runtime/services/basic_service.h"

#include "runtime/services/environment.h"
#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TBasicService20);
RT_REGISTER_COMPONENT(TSettingsService20);

namespace {
HRESULT Answer(std::string* out, const std::string& value) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}
}  // namespace

HRESULT TBasicService20::GetCurDir(std::string* dir) { return Answer(dir, Environment().base_dir); }
HRESULT TBasicService20::GetSysCode(std::string* code) { return Answer(code, Environment().sys_code); }
HRESULT TBasicService20::GetUserID(std::string* id) { return Answer(id, Environment().user_id); }
HRESULT TBasicService20::GetUserName(std::string* name) { return Answer(name, Environment().user_name); }
HRESULT TBasicService20::GetComputerName(std::string* name) { return Answer(name, Environment().computer_name); }

HRESULT TBasicService20::GetDisplayStyle(int* style) {
  if (!style) return E_POINTER;
  *style = Environment().display_style;
  return S_OK;
}

namespace {
std::map<std::string, std::string>& Settings() {
  static std::map<std::string, std::string> settings;
  return settings;
}
std::string SettingKey(const std::string& section, const std::string& name) {
  return gbk::UpperCase(section) + '\n' + gbk::UpperCase(name);
}
}  // namespace

HRESULT TSettingsService20::ReadString(const std::string& section, const std::string& name, std::string* value) {
  if (!value) return E_POINTER;
  auto it = Settings().find(SettingKey(section, name));
  *value = it == Settings().end() ? std::string() : it->second;
  return S_OK;
}

HRESULT TSettingsService20::WriteString(const std::string& section, const std::string& name, const std::string& value) {
  Settings()[SettingKey(section, name)] = value;
  return S_OK;
}

}  // namespace rt
