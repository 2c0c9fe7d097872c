// Operation 0: the registration record.
#include "plugin/bytes.h"
#include "plugin/messages.h"
#include "plugin/plugin.h"
#include "settings/settings.h"

namespace ctl {
namespace {

constexpr std::int32_t kOldestHostVersion = VL_OLDEST_HOST_VERSION;
constexpr std::int32_t kInterfaceVersion = VL_INTERFACE_VERSION;

}  // namespace

void RegisterPlugin(std::uint8_t* record) {
  using namespace bytes;
  if (I32(record, VL_REGISTRATION_VERSION) < kOldestHostVersion) {
    PutU8(record, VL_REGISTRATION_ACCEPTED, 0);
    return;
  }
  PutI32(record, VL_REGISTRATION_VERSION, kInterfaceVersion);
  PutU8(record, VL_REGISTRATION_ACCEPTED, 1);
  PutU8(record, 5, 0);
  PutU8(record, 6, 1);
  PutU8(record, 7, 1);
  PutU8(record, 8, 1);
  PutI32(record, 12, 3004);
  PutU8(record, 16, 1);
  PutU16(record, VL_REGISTRATION_TOP, 100);
  PutU16(record, VL_REGISTRATION_LEFT, 100);
  PutU16(record, VL_REGISTRATION_BOTTOM, 300);
  PutU16(record, VL_REGISTRATION_RIGHT, 400);
  PutI32(record, 28, 40000);
  PutU8(record, 32, 1);
  ToCountedString(record + VL_REGISTRATION_CAPTION, msg::kRegistrationCaption);
  PutU8(record, VL_REGISTRATION_TEXT2, 0);
  PutU8(record, VL_REGISTRATION_TEXT3, 0);
  LoadSettingsUnlessUnsaved();
}

}  // namespace ctl
