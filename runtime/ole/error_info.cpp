#include "runtime/ole/error_info.h"

#include <utility>

namespace rt {
namespace {
thread_local std::string error_description;
}

void SetErrorInfo(std::string description) { error_description = std::move(description); }

std::string TakeErrorInfo() { return std::exchange(error_description, std::string()); }

}  // namespace rt
