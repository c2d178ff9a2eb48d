// The common error kind of the system and its specialisations. Handlers raise
// these; the modal loop and the exported functions catch them.
#pragma once

#include <stdexcept>
#include <string>

namespace rt {

// The common error kind. Messages are GBK text.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A text that is not a number, a value of the wrong kind, a bad encoding.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An operation that is not allowed in the current state (focus, modal state).
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

// A failing automation call: the result check raises a negative status.
class EOleError : public Exception {
 public:
  EOleError(const std::string& message, long status) : Exception(message), status_(status) {}
  long Status() const { return status_; }

 private:
  long status_;
};

// The database rejected a statement or could not be reached.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// A data packet that is not well formed.
class EPacketError : public Exception {
 public:
  using Exception::Exception;
};

// A file that is not a picture of a known format.
class EInvalidGraphic : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace rt
