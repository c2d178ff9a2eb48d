// The host's environment: where it is installed, who is logged on at which
// workstation, in which subsystem, and the display style of skinned frames.
// One per process; the host console sets it when it starts.
#pragma once

#include <string>

namespace rt {

struct HostEnvironment {
  std::string base_dir;       // GBK, ends with a path separator
  std::string user_id;        // GBK
  std::string user_name;      // GBK
  std::string computer_name;  // GBK
  std::string sys_code;       // the subsystem's code, such as "LIS_DIRECTOR"
  int display_style = 0;      // the style number of skinned frames
};

// The process's environment. Until SetEnvironment is called it holds the
// defaults: the current directory with a separator at its end, the user
// "admin", the machine's host name, the subsystem "LIS_DIRECTOR" and style 0.
// The reference stays valid for the life of the process; SetEnvironment
// changes what it refers to.
const HostEnvironment& Environment();
void SetEnvironment(HostEnvironment environment);

// The defaults described above, freshly computed.
HostEnvironment DefaultEnvironment();

}  // namespace rt
