// The error description that goes with a failing automation status, as a
// component leaves it for its caller (one per thread). The result check
// takes it to raise the error with the component's own message.
#pragma once

#include <string>

#include "runtime/ole/variant.h"

namespace rt {

void SetErrorInfo(std::string description);
// The description left by the last failing call, emptied by taking it.
std::string TakeErrorInfo();

// Runs a component operation: S_OK when it returns, E_FAIL with the error's
// description left behind when it raises. No exception leaves.
template <class Operation>
HRESULT GuardedCall(Operation&& operation) noexcept {
  try {
    operation();
    return S_OK;
  } catch (const std::exception& e) {
    try {
      SetErrorInfo(e.what());
    } catch (...) {
    }
    return E_FAIL;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace rt
