// The host's environment service: base directory, subsystem, logged-on user,
// workstation and display style. The settings service sits beside it.
#pragma once

#include <map>
#include <string>

#include "runtime/ole/variant.h"
#include "runtime/ui/component.h"

namespace rt {

class TBasicService20 : public TComponent {
 public:
  RT_COMPONENT_CLASS(TBasicService20)
  using TComponent::TComponent;
  // The host's base directory, ending in a path separator.
  HRESULT GetCurDir(std::string* dir);
  HRESULT GetSysCode(std::string* code);
  HRESULT GetUserID(std::string* id);
  HRESULT GetUserName(std::string* name);
  HRESULT GetComputerName(std::string* name);
  HRESULT GetDisplayStyle(int* style);
};

// Named settings of the host, kept for the life of the process.
class TSettingsService20 : public TComponent {
 public:
  RT_COMPONENT_CLASS(TSettingsService20)
  using TComponent::TComponent;
  HRESULT ReadString(const std::string& section, const std::string& name, std::string* value);
  HRESULT WriteString(const std::string& section, const std::string& name, const std::string& value);
};

}  // namespace rt
