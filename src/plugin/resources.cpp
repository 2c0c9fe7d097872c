// The module's string table.
#include "plugin/resources.h"

#include "plugin/messages.h"

namespace res {

const char* FindString(std::uint32_t id) {
  switch (id) {
    case ctl::msg::kString500:
      return ctl::msg::kText500;
    case ctl::msg::kString501:
      return ctl::msg::kText501;
    case ctl::msg::kString504:
      return ctl::msg::kText504;
    default:
      return nullptr;
  }
}

}  // namespace res
