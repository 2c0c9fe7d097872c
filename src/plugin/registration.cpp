// Operation 0: the registration record.
#include "plugin/bytes.h"
#include "plugin/messages.h"
#include "plugin/plugin.h"
#include "settings/settings.h"

namespace ctl {
namespace {

constexpr std::int32_t kOldestHostVersion = 3;
constexpr std::int32_t kInterfaceVersion = 4;

}  // namespace

void RegisterPlugin(std::uint8_t* record) {
  using namespace bytes;
  if (I32(record, 0) < kOldestHostVersion) {
    PutU8(record, 4, 0);
    return;
  }
  PutI32(record, 0, kInterfaceVersion);
  PutU8(record, 4, 1);
  PutU8(record, 5, 0);
  PutU8(record, 6, 1);
  PutU8(record, 7, 1);
  PutU8(record, 8, 1);
  PutI32(record, 12, 3004);
  PutU8(record, 16, 1);
  PutU16(record, 18, 100);
  PutU16(record, 20, 100);
  PutU16(record, 22, 300);
  PutU16(record, 24, 400);
  PutI32(record, 28, 40000);
  PutU8(record, 32, 1);
  ToCountedString(record + 33, msg::kRegistrationCaption);
  PutU8(record, 289, 0);
  PutU8(record, 545, 0);
  LoadSettingsUnlessUnsaved();
}

}  // namespace ctl
