// The texts this subsystem shows, in one table.
#pragma once

#include <cstdint>

namespace ctl::msg {

inline constexpr const char* kControllerCaption = "Telescope Controller";
inline constexpr const char* kRegistrationCaption = "&Telescope";
inline constexpr const char* kTelescopeLabel = "Telescope";

// String resources behind operations 24, 25 and 29 and menu command 20000.
inline constexpr std::uint32_t kString500 = 500;
inline constexpr std::uint32_t kString501 = 501;
inline constexpr std::uint32_t kString504 = 504;
inline constexpr const char* kText500 =
    "The telescope controller is connected to the setting circles.";
inline constexpr const char* kText501 =
    "Telescope position reports come from the setting circle encoders.";
inline constexpr const char* kText504 =
    "Use Add to Calibrate List, Sight Object and Calibrate Telescope to calibrate the telescope.";

// Object menu.
inline constexpr const char* kMenuAdd = "Add to Calibrate List";
inline constexpr const char* kMenuRemove = "Remove from Calibrate List";
inline constexpr const char* kMenuSight = "Sight Object";
inline constexpr const char* kMenuCalibrate = "Calibrate Telescope";
inline constexpr const char* kNotEnoughText = "You do not have enough obejects sighted.";
inline constexpr const char* kNotEnoughCaption = "Cannot Calibrate";
// "Sight Object" when the box's answer came short: nothing is recorded.
inline constexpr const char* kNotSightedText =
    "Object %s was not sighted: the setting circles gave no complete reading. Check the "
    "connection and sight it again.";
inline constexpr const char* kNotSightedCaption = "Read Comm Error";

}  // namespace ctl::msg
