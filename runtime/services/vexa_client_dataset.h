// The host component package's client dataset. It is a client dataset with
// the package's connection settings as layout properties: the server class
// that would provide its data, how it is opened and how it fetches. Its data
// arrives as data packets assigned by its user, so the settings are kept and
// reported, not acted on.
#pragma once

#include <string>
#include <string_view>

#include "runtime/data/client_dataset.h"

namespace rt {

class TVexaClientDataSet20 : public TClientDataSet {
 public:
  RT_COMPONENT_CLASS(TVexaClientDataSet20)
  explicit TVexaClientDataSet20(TComponent* owner) : TClientDataSet(owner) {}

  // Properties set by layouts, besides those of TClientDataSet:
  // U_ServerClassName, U_OpenType, U_FetchDataMode (texts).
  void SetProperty(std::string_view name, const PropValue& value) override;

  // The server class, e.g. "Vexa.DataCtrl".
  const std::string& ServerClassName() const { return server_class_name_; }
  // The open type, e.g. "otNormal".
  const std::string& OpenType() const { return open_type_; }
  // The fetch mode, e.g. "fmAppend".
  const std::string& FetchDataMode() const { return fetch_data_mode_; }

 private:
  std::string server_class_name_;
  std::string open_type_;
  std::string fetch_data_mode_;
};

}  // namespace rt
