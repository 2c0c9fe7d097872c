// The texts and ids of the settings subsystem, in one table: the
// configuration dialog's template texts, its control ids and its boxes.
#pragma once

#include <cstdint>

namespace ctl::msg {

// ---- Dialog resource 101 ---------------------------------------------------

inline constexpr std::uint16_t kConfigDialogId = 101;
inline constexpr const char* kConfigDialogCaption = "Configure Telescope (QRT Plugin V2.1)";
inline constexpr const char* kConfigDialogFont = "MS Sans Serif";
inline constexpr std::uint16_t kConfigDialogPointSize = 8;

// Control ids.  kIdStatic marks a control the program never addresses.
inline constexpr std::uint16_t kIdOk = 1;
inline constexpr std::uint16_t kIdCancel = 2;
inline constexpr std::uint16_t kIdResRA = 1000;
inline constexpr std::uint16_t kIdResDec = 1001;
inline constexpr std::uint16_t kIdInvertRA = 1002;
inline constexpr std::uint16_t kIdInvertDec = 1003;
inline constexpr std::uint16_t kIdCom1 = 1004;
inline constexpr std::uint16_t kIdCom2 = 1005;
inline constexpr std::uint16_t kIdCom3 = 1006;
inline constexpr std::uint16_t kIdCom4 = 1007;
inline constexpr std::uint16_t kIdRefRAHours = 1013;
inline constexpr std::uint16_t kIdStatusOff = 1014;
inline constexpr std::uint16_t kIdRefRAMinutes = 1015;
inline constexpr std::uint16_t kIdRefRASeconds = 1016;
inline constexpr std::uint16_t kIdRefDecDegrees = 1017;
inline constexpr std::uint16_t kIdRefDecMinutes = 1018;
inline constexpr std::uint16_t kIdRefDecSeconds = 1019;
inline constexpr std::uint16_t kIdStatusOn = 1020;
inline constexpr std::uint16_t kIdMountEQ = 1021;
inline constexpr std::uint16_t kIdMountAA = 1022;
inline constexpr std::uint16_t kIdPointModel = 1023;  // "Mount model": PointModel MOUNT
inline constexpr std::uint16_t kIdStatic = 65535;

// Control texts.
inline constexpr const char* kTextOk = "OK";
inline constexpr const char* kTextCancel = "Cancel";
inline constexpr const char* kTextInvert = "Invert";
inline constexpr const char* kTextResRA = "RA/Az Resolution";
inline constexpr const char* kTextResDec = "Dec/Alt Resolution";
inline constexpr const char* kTextEncoderSettings = "Encoder Settings";
inline constexpr const char* kTextCom1 = "COM1";
inline constexpr const char* kTextCom2 = "COM2";
inline constexpr const char* kTextCom3 = "COM3";
inline constexpr const char* kTextCom4 = "COM4";
inline constexpr const char* kTextPortSelect = "Port Select";
inline constexpr const char* kTextReferencePoint = "Reference Point";
inline constexpr const char* kTextRightAscension = "Right Ascension";
inline constexpr const char* kTextDeclination = "Declination";
inline constexpr const char* kTextOff = "Off";
inline constexpr const char* kTextOn = "On";
inline constexpr const char* kTextDscStatus = "DSC Status";
inline constexpr const char* kTextEQ = "EQ";
inline constexpr const char* kTextAA = "AA";
inline constexpr const char* kTextMountType = "Mount Type";
inline constexpr const char* kTextPointModel = "Mount model";

// ---- Boxes and formats -----------------------------------------------------

// The module looked up when the loader never handed over the instance.
inline constexpr const char* kModuleFileName = "controller.plug";

inline constexpr const char* kInvalidPortText = "Invalid comm port setting";
inline constexpr const char* kInvalidPortCaption = "Configuration Error";

// Filled with the system's error code in decimal; the repeated 0 flags
// print exactly what %d prints.  Formatted through a variadic helper, since
// the compiler's format check flags the repeated flags.
inline constexpr const char* kDialogErrorFormat = "Error in dialog box: %00000d.";
inline constexpr const char* kDialogErrorCaption = "Dialog Box Error";

// A save that the profile did not take (a win.ini the user may not write):
// filled with the file and the system's reason.  Shown once per OK.
inline constexpr const char* kSaveFailedFormat =
    "The settings could not be saved in %s:\n%s\n\n"
    "They stay in force until the program is closed.";
inline constexpr const char* kSaveFailedCaption = "Settings Not Saved";

// Each reference field is shown with this format.
inline constexpr const char* kFieldFormat = "%02d";
// The leading field of a value between -1 and 0 hours or degrees, which
// "%02d" would show without its sign.
inline constexpr const char* kNegativeZeroField = "-00";

}  // namespace ctl::msg
