// The host's automation objects "Vexa.Common" (the shared UserParam values)
// and "Vexa.BaseInfo" (the display style of the environment).
#include <map>
#include <mutex>

#include "runtime/ole/automation.h"
#include "runtime/services/environment.h"
#include "runtime/text/gbk.h"

namespace rt {
namespace {

// The named values, by upper-cased name. They live as long as the process.
struct UserParams {
  std::mutex mutex;
  std::map<std::string, std::string> values;
};

UserParams& TheUserParams() {
  static UserParams params;
  return params;
}

class CommonObject : public DispatchObject {
 public:
  CommonObject() {
    DefineProperty(
        "UserParam",
        [](std::span<const OleValue> index) -> OleValue {
          CheckArgCount(index.size(), 1);
          return ReadUserParam(OleValueToText(index[0]));
        },
        [](std::span<const OleValue> index, const OleValue& value) {
          CheckArgCount(index.size(), 1);
          WriteUserParam(OleValueToText(index[0]), OleValueToText(value));
        });
  }
};

class BaseInfoObject : public DispatchObject {
 public:
  BaseInfoObject() {
    DefineProperty("DisplayStyle", [](std::span<const OleValue> index) -> OleValue {
      CheckArgCount(index.size(), 0);
      return static_cast<std::int64_t>(Environment().display_style);
    });
  }
};

const bool registered = [] {
  RegisterOleClass("Vexa.Common", [] { return std::make_shared<CommonObject>(); });
  RegisterOleClass("Vexa.BaseInfo", [] { return std::make_shared<BaseInfoObject>(); });
  return true;
}();

}  // namespace

std::string ReadUserParam(std::string_view name) {
  UserParams& params = TheUserParams();
  std::lock_guard lock(params.mutex);
  auto it = params.values.find(gbk::UpperCase(name));
  return it == params.values.end() ? std::string() : it->second;
}

void WriteUserParam(std::string_view name, std::string value) {
  UserParams& params = TheUserParams();
  std::lock_guard lock(params.mutex);
  params.values[gbk::UpperCase(name)] = std::move(value);
}

}  // namespace rt
