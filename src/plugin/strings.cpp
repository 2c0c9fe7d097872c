// Counted strings and messages by id.
#include <cstring>

#include "plugin/messages.h"
#include "plugin/plugin.h"

namespace ctl {

std::uint8_t* ToCountedString(std::uint8_t* destination, const char* source) {
  const std::size_t length = std::strlen(source);
  destination[0] = static_cast<std::uint8_t>(length % 256);
  std::memcpy(destination + 1, source, destination[0]);
  destination[1 + destination[0]] = 0;
  return destination;
}

char* FromCountedString(char* destination, const std::uint8_t* source) {
  const std::size_t length = source[0];
  std::memcpy(destination, source + 1, length);
  destination[length] = '\0';
  return destination;
}

void ShowMessageById(std::uint32_t id) {
  char text[255];
  text[0] = '\0';
  plat::LoadStringResource(State().module_instance, id, text, sizeof text);
  plat::MessageBox(plat::GetFocus(), text, msg::kControllerCaption,
                   plat::kMbSystemModal | plat::kMbOk);
}

}  // namespace ctl
