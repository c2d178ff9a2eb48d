// Automation objects: objects created by program identifier whose members
// are reached late, by name, as a script or a variant call reaches them.
//
// The host registers its classes ("Vexa.Common", "Vexa.BaseInfo"); other
// parts of the runtime add theirs with RegisterOleClass. Member names and
// program identifiers compare without regard to case. Every failure is an
// rt::EOleError carrying the automation status that a dispatch call answers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/data/value.h"

namespace rt {

// An argument or result of a late-bound call: empty, a flag, an integer, a
// floating-point number, a text (GBK) or a date-time.
using OleValue = std::variant<std::monostate, bool, std::int64_t, double, std::string, DateTime>;

// Automation statuses.
inline constexpr long kDispEUnknownName = -2147352570;     // 0x80020006 "Unknown name"
inline constexpr long kDispEMemberNotFound = -2147352573;  // 0x80020003 "Member not found"
inline constexpr long kDispETypeMismatch = -2147352571;    // 0x80020005 "Type mismatch"
inline constexpr long kDispEBadParamCount = -2147352562;   // 0x8002000E "Invalid number of parameters"
inline constexpr long kCoEClassString = -2147221005;       // 0x800401F3 "Invalid class string"

class AutomationObject {
 public:
  virtual ~AutomationObject() = default;
  AutomationObject() = default;
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;

  // Reads a property; `index` holds the arguments of an indexed property.
  virtual OleValue GetProperty(std::string_view name, std::span<const OleValue> index) = 0;
  // Writes a property.
  virtual void SetProperty(std::string_view name, std::span<const OleValue> index, const OleValue& value) = 0;
  // Calls a method. Arguments passed by reference are written back into
  // `args`.
  virtual OleValue Invoke(std::string_view method, std::span<OleValue> args) = 0;
};

// An automation object whose members are listed in a table. As a dispatch
// call does, a property may be read with Invoke and a method called through
// GetProperty. Unknown names raise "Unknown name"; writing a member that
// cannot be written raises "Member not found".
class DispatchObject : public AutomationObject {
 public:
  using Getter = std::function<OleValue(std::span<const OleValue> index)>;
  using Setter = std::function<void(std::span<const OleValue> index, const OleValue& value)>;
  using Method = std::function<OleValue(std::span<OleValue> args)>;

  OleValue GetProperty(std::string_view name, std::span<const OleValue> index) override;
  void SetProperty(std::string_view name, std::span<const OleValue> index, const OleValue& value) override;
  OleValue Invoke(std::string_view method, std::span<OleValue> args) override;

 protected:
  // A property; without a setter it is read-only.
  void DefineProperty(std::string_view name, Getter getter, Setter setter = nullptr);
  void DefineMethod(std::string_view name, Method method);

 private:
  struct Member {
    std::string name;
    Getter getter;
    Setter setter;
    Method method;
  };
  const Member& Find(std::string_view name) const;

  std::vector<Member> members_;
};

// Raises "Invalid number of parameters" unless there are `expected`
// arguments.
void CheckArgCount(std::size_t count, std::size_t expected);

using OleClassFactory = std::function<std::shared_ptr<AutomationObject>()>;

// Registers (or replaces) the class behind a program identifier.
void RegisterOleClass(std::string_view prog_id, OleClassFactory factory);
// Creates an object of a registered class. Throws rt::EOleError "Invalid
// class string" for an unknown identifier.
std::shared_ptr<AutomationObject> CreateOleObject(std::string_view prog_id);

// Conversions of values, as a variant converts: empty is "" or 0; a flag is
// "True"/"False" or -1/0; a number in decimal; a date-time as
// "YYYY-MM-DD HH:MM:SS" or its whole days. Texts convert to numbers only when
// they are one (blanks around them allowed). Throws rt::EConvertError when a
// value cannot be converted.
std::string OleValueToText(const OleValue& value);
int OleValueToInt(const OleValue& value);
DateTime OleValueToDateTime(const OleValue& value);

// The host's store of named values behind "Vexa.Common"'s UserParam: one per
// process, shared by the host and every module; names compare without regard
// to case, and an unknown name reads as the empty text.
std::string ReadUserParam(std::string_view name);
void WriteUserParam(std::string_view name, std::string value);

}  // namespace rt
