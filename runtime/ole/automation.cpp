#include "runtime/ole/automation.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>

#include "runtime/errors.h"
#include "runtime/sysutils.h"
#include "runtime/text/gbk.h"

namespace rt {
namespace {

[[noreturn]] void UnknownName(std::string_view name) {
  throw EOleError("Unknown name: " + std::string(name), kDispEUnknownName);
}

std::string_view TypeName(const OleValue& value) {
  switch (value.index()) {
    case 0: return "Empty";
    case 1: return "Boolean";
    case 2: return "Int64";
    case 3: return "Double";
    case 4: return "String";
    default: return "Date";
  }
}

[[noreturn]] void CannotConvert(const OleValue& value, std::string_view to) {
  throw EConvertError("Could not convert variant of type (" + std::string(TypeName(value)) + ") into type (" +
                      std::string(to) + ")");
}

// A floating-point number rounded half to even, as a variant rounds, within
// the 32-bit range.
int RoundToInt(double number, const OleValue& value) {
  if (!std::isfinite(number)) CannotConvert(value, "Integer");
  double rounded = std::nearbyint(number);
  if (rounded < std::numeric_limits<int>::min() || rounded > std::numeric_limits<int>::max())
    throw EConvertError("Overflow while converting variant of type (" + std::string(TypeName(value)) +
                        ") into type (Integer)");
  return static_cast<int>(rounded);
}

// The class registry: program identifiers upper-cased.
struct Registry {
  std::mutex mutex;
  std::map<std::string, OleClassFactory> classes;
};

Registry& Classes() {
  static Registry registry;
  return registry;
}

}  // namespace

// ---- DispatchObject -----------------------------------------------------------

void DispatchObject::DefineProperty(std::string_view name, Getter getter, Setter setter) {
  members_.push_back(Member{std::string(name), std::move(getter), std::move(setter), nullptr});
}

void DispatchObject::DefineMethod(std::string_view name, Method method) {
  members_.push_back(Member{std::string(name), nullptr, nullptr, std::move(method)});
}

const DispatchObject::Member& DispatchObject::Find(std::string_view name) const {
  for (const Member& member : members_)
    if (gbk::SameText(member.name, name)) return member;
  UnknownName(name);
}

OleValue DispatchObject::GetProperty(std::string_view name, std::span<const OleValue> index) {
  const Member& member = Find(name);
  if (member.getter) return member.getter(index);
  std::vector<OleValue> args(index.begin(), index.end());
  return member.method(args);
}

void DispatchObject::SetProperty(std::string_view name, std::span<const OleValue> index, const OleValue& value) {
  const Member& member = Find(name);
  if (!member.setter) throw EOleError("Member not found: " + std::string(name), kDispEMemberNotFound);
  member.setter(index, value);
}

OleValue DispatchObject::Invoke(std::string_view method, std::span<OleValue> args) {
  const Member& member = Find(method);
  if (member.method) return member.method(args);
  return member.getter(std::span<const OleValue>(args.data(), args.size()));
}

void CheckArgCount(std::size_t count, std::size_t expected) {
  if (count != expected) throw EOleError("Invalid number of parameters", kDispEBadParamCount);
}

// ---- Classes -----------------------------------------------------------------------

void RegisterOleClass(std::string_view prog_id, OleClassFactory factory) {
  Registry& registry = Classes();
  std::lock_guard lock(registry.mutex);
  registry.classes[gbk::UpperCase(prog_id)] = std::move(factory);
}

std::shared_ptr<AutomationObject> CreateOleObject(std::string_view prog_id) {
  OleClassFactory factory;
  {
    Registry& registry = Classes();
    std::lock_guard lock(registry.mutex);
    auto it = registry.classes.find(gbk::UpperCase(prog_id));
    if (it != registry.classes.end()) factory = it->second;
  }
  if (!factory) throw EOleError("Invalid class string: " + std::string(prog_id), kCoEClassString);
  std::shared_ptr<AutomationObject> object = factory();
  if (!object) throw EOleError("Invalid class string: " + std::string(prog_id), kCoEClassString);
  return object;
}

// ---- Conversions -----------------------------------------------------------------

std::string OleValueToText(const OleValue& value) {
  switch (value.index()) {
    case 0: return {};
    case 1: return std::get<bool>(value) ? "True" : "False";
    case 2: return std::to_string(std::get<std::int64_t>(value));
    case 3: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.15g", std::get<double>(value));
      return buffer;
    }
    case 4: return std::get<std::string>(value);
    default: {
      DateTimeParts p = DecodeDateTime(std::get<DateTime>(value));
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                    p.second);
      return buffer;
    }
  }
}

int OleValueToInt(const OleValue& value) {
  switch (value.index()) {
    case 0: return 0;
    case 1: return std::get<bool>(value) ? -1 : 0;
    case 2: {
      std::int64_t number = std::get<std::int64_t>(value);
      if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        throw EConvertError("Overflow while converting variant of type (Int64) into type (Integer)");
      return static_cast<int>(number);
    }
    case 3: return RoundToInt(std::get<double>(value), value);
    case 4: {
      std::string_view text = gbk::Trim(std::get<std::string>(value));
      int number = 0;
      if (TryStrToInt(text, number)) return number;
      double real = 0;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), real);
      if (text.empty() || error != std::errc() || end != text.data() + text.size()) CannotConvert(value, "Integer");
      return RoundToInt(real, value);
    }
    default: return RoundToInt(std::get<DateTime>(value).days, value);
  }
}

DateTime OleValueToDateTime(const OleValue& value) {
  switch (value.index()) {
    case 0: return DateTime{};
    case 2: return DateTime{static_cast<double>(std::get<std::int64_t>(value))};
    case 3: return DateTime{std::get<double>(value)};
    case 4: {
      std::optional<DateTime> parsed = datetime::FromText(gbk::Trim(std::get<std::string>(value)));
      if (!parsed) CannotConvert(value, "Date");
      return *parsed;
    }
    case 5: return std::get<DateTime>(value);
    default: CannotConvert(value, "Date");
  }
}

}  // namespace rt
