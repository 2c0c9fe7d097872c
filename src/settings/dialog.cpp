// Operation 23: the configuration dialog.  The settings are loaded before it
// opens and saved after it closes, whatever the outcome; the dialog's
// procedure fills the controls from the settings record when it opens and
// writes them back on OK.  When the profile does not take an OK's settings
// the user is told, and they stay in force (they are not reloaded) until a
// save succeeds.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/messages.h"
#include "settings/settings.h"

namespace ctl {
namespace {

constexpr int kBufferSize = 512;

// The three texts of a reference field group as the dialog showed them when
// it opened.  A group whose texts read back unchanged on OK keeps its exact
// value: splitting an angle truncates each field, so reading the shown
// fields back would move the reference point a second at each OK.
struct ShownGroup {
  char texts[3][kBufferSize] = {};
};

ShownGroup g_shown_ra;
ShownGroup g_shown_dec;

// snprintf through a non-literal format, for formats that the compiler's
// format check would flag although they print as meant.
void Format(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, size, format, args);
  va_end(args);
}

// The port digit of a port name: its fourth character, or none ('\0') for
// a name shorter than four characters.
char PortDigit(const char (&port)[5]) { return std::strlen(port) >= 4 ? port[3] : '\0'; }

bool IsPortButtonDigit(char digit) { return digit >= '1' && digit <= '4'; }

void ShowGroup(plat::Handle dialog, const std::uint16_t (&ids)[3], const Sexagesimal& value,
               ShownGroup& shown) {
  if (value.leading == 0 && value.negative) {
    std::snprintf(shown.texts[0], kBufferSize, "%s", msg::kNegativeZeroField);
  } else {
    std::snprintf(shown.texts[0], kBufferSize, msg::kFieldFormat, value.leading);
  }
  std::snprintf(shown.texts[1], kBufferSize, msg::kFieldFormat, value.minutes);
  std::snprintf(shown.texts[2], kBufferSize, msg::kFieldFormat, value.seconds);
  for (int i = 0; i < 3; ++i) plat::SetDlgItemText(dialog, ids[i], shown.texts[i]);
}

// A reference field's leading decimal integer, as a 16-bit value: leading
// white space and a sign accepted, no digits read as 0, values beyond 16
// bits held at the nearest end.  *minus tells whether the number carried a
// minus sign, so that "-00" keeps its sign.
std::int16_t FieldValue(const char* text, bool* minus) {
  const char* p = text;
  p += std::strspn(p, " \t\n\r\f\v");
  char* end = nullptr;
  const long value = std::strtol(p, &end, 10);
  if (minus != nullptr) *minus = end != p && *p == '-';
  return static_cast<std::int16_t>(std::clamp<long>(value, INT16_MIN, INT16_MAX));
}

// Reads a reference field group back.  Returns false when the three texts
// are those shown at initialisation (the value is then kept as it was).
bool ReadGroup(plat::Handle dialog, const std::uint16_t (&ids)[3], const ShownGroup& shown,
               double (*to_radians)(std::int16_t, std::int16_t, std::int16_t), double* angle) {
  char texts[3][kBufferSize];
  bool unchanged = true;
  for (int i = 0; i < 3; ++i) {
    texts[i][0] = '\0';
    plat::GetDlgItemText(dialog, ids[i], texts[i], kBufferSize);
    if (std::strcmp(texts[i], shown.texts[i]) != 0) unchanged = false;
  }
  if (unchanged) return false;
  bool minus = false;
  const std::int16_t leading = FieldValue(texts[0], &minus);
  const std::int16_t minutes = FieldValue(texts[1], nullptr);
  const std::int16_t seconds = FieldValue(texts[2], nullptr);
  // "-00": an angle between -1 and 0 hours or degrees, which a leading
  // field of 0 alone cannot carry.
  *angle = (leading == 0 && minus) ? -to_radians(0, minutes, seconds)
                                   : to_radians(leading, minutes, seconds);
  return true;
}

std::uint32_t Magnitude(std::int32_t value) {
  return value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
}

// A resolution read back: the edit as an unsigned decimal number, negated
// when its Invert box is checked.  An edit that holds no usable number
// (empty, letters, a minus sign, 0, or more than a 32-bit resolution of that
// sign can carry) keeps the previous magnitude, since a resolution of 0
// would make the radians-per-count factor infinite; the Invert box still
// sets the sign.  An inverted axis carries one more than a plain one: the
// most negative resolution, -2147483648, shows as 2147483648 and reads back
// as itself.
std::int32_t ReadResolution(plat::Handle dialog, int edit_id, int invert_id,
                            std::int32_t previous) {
  const bool invert = plat::IsDlgButtonChecked(dialog, invert_id) == plat::kBstChecked;
  const std::uint32_t largest = static_cast<std::uint32_t>(INT32_MAX) + (invert ? 1u : 0u);
  bool translated = false;
  const std::uint32_t typed = plat::GetDlgItemInt(dialog, edit_id, &translated, false);
  std::uint32_t magnitude = typed;
  if (!translated || typed == 0 || typed > largest) {
    magnitude = std::min(Magnitude(previous), largest);
  }
  // Modulo 2^32: 0 - 2^31 is the bit pattern of -2^31.
  return static_cast<std::int32_t>(invert ? 0u - magnitude : magnitude);
}

constexpr std::uint16_t kRAFields[] = {msg::kIdRefRAHours, msg::kIdRefRAMinutes,
                                       msg::kIdRefRASeconds};
constexpr std::uint16_t kDecFields[] = {msg::kIdRefDecDegrees, msg::kIdRefDecMinutes,
                                        msg::kIdRefDecSeconds};

void InitialiseDialog(plat::Handle dialog) {
  PluginState& state = State();
  const Settings& s = state.settings;

  const char digit = PortDigit(s.CommPort);
  state.pending_port_digit = digit;

  plat::SetDlgItemInt(dialog, msg::kIdResRA, Magnitude(s.ResRA), false);
  plat::SetDlgItemInt(dialog, msg::kIdResDec, Magnitude(s.ResDec), false);
  plat::CheckDlgButton(dialog, msg::kIdInvertRA,
                       s.ResRA < 0 ? plat::kBstChecked : plat::kBstUnchecked);
  plat::CheckDlgButton(dialog, msg::kIdInvertDec,
                       s.ResDec < 0 ? plat::kBstChecked : plat::kBstUnchecked);

  if (IsPortButtonDigit(digit)) {
    plat::CheckRadioButton(dialog, msg::kIdCom1, msg::kIdCom4, msg::kIdCom1 + (digit - '1'));
  } else {
    plat::MessageBox(plat::GetFocus(), msg::kInvalidPortText, msg::kInvalidPortCaption,
                     plat::kMbSystemModal | plat::kMbIconWarning);
  }

  // The two status buttons are set one by one: the ids between them belong
  // to the reference edits.
  plat::CheckDlgButton(dialog, msg::kIdStatusOn,
                       s.PCode != 0 ? plat::kBstChecked : plat::kBstUnchecked);
  plat::CheckDlgButton(dialog, msg::kIdStatusOff,
                       s.PCode != 0 ? plat::kBstUnchecked : plat::kBstChecked);
  plat::CheckRadioButton(dialog, msg::kIdMountEQ, msg::kIdMountAA,
                         s.MountType != 0 ? msg::kIdMountAA : msg::kIdMountEQ);
  plat::CheckDlgButton(dialog, msg::kIdPointModel,
                       s.PointModel == kMountModel ? plat::kBstChecked : plat::kBstUnchecked);

  ShowGroup(dialog, kRAFields, RadiansToHMS(s.RefRA), g_shown_ra);
  ShowGroup(dialog, kDecFields, RadiansToDMS(s.RefDec), g_shown_dec);
}

void TakeBackSettings(plat::Handle dialog) {
  PluginState& state = State();
  Settings& s = state.settings;

  s.ResRA = ReadResolution(dialog, msg::kIdResRA, msg::kIdInvertRA, s.ResRA);
  state.RadPerCountRA = RadiansPerCount(s.ResRA);
  s.ResDec = ReadResolution(dialog, msg::kIdResDec, msg::kIdInvertDec, s.ResDec);
  state.RadPerCountDec = RadiansPerCount(s.ResDec);

  // The port buttons replace the fourth character only.  A name too short
  // to have one becomes the chosen COM port, not a name with a digit hidden
  // behind its terminator.
  const char digit = state.pending_port_digit;
  if (IsPortButtonDigit(digit)) {
    if (std::strlen(s.CommPort) >= 4) {
      s.CommPort[3] = digit;
    } else {
      const char port[5] = {'C', 'O', 'M', digit, '\0'};
      std::memcpy(s.CommPort, port, sizeof port);
    }
  }

  s.PCode = plat::IsDlgButtonChecked(dialog, msg::kIdStatusOff) == plat::kBstChecked ? 0 : 1;
  s.MountType = plat::IsDlgButtonChecked(dialog, msg::kIdMountEQ) == plat::kBstChecked
                    ? kEquatorial
                    : kAltAzimuth;
  s.PointModel = plat::IsDlgButtonChecked(dialog, msg::kIdPointModel) == plat::kBstChecked
                     ? kMountModel
                     : kAxesModel;

  double angle = 0.0;
  if (ReadGroup(dialog, kRAFields, g_shown_ra, &HMSToRadians, &angle)) s.RefRA = angle;
  if (ReadGroup(dialog, kDecFields, g_shown_dec, &DMSToRadians, &angle)) s.RefDec = angle;
}

}  // namespace

int OpenConfigDialog() {
  PluginState& state = State();
  if (state.module_instance == plat::kInvalidHandle) {
    state.module_instance = plat::ModuleHandleByName(msg::kModuleFileName);
  }
  LoadSettingsUnlessUnsaved();
  const std::intptr_t result = plat::DialogBox(state.module_instance, msg::kConfigDialogId,
                                               plat::GetFocus(), &ConfigDialogProc);
  if (result == -1) {
    char text[kBufferSize];
    Format(text, sizeof text, msg::kDialogErrorFormat, static_cast<int>(plat::GetLastError()));
    plat::MessageBox(plat::GetFocus(), text, msg::kDialogErrorCaption,
                     plat::kMbSystemModal | plat::kMbIconError);
  }
  plat::ProfileWriteFailure failure;
  if (WriteSettings(&failure)) {
    state.settings_unsaved = 0;
  } else if (result == 1) {
    // The values chosen stay in force for the session; the user is told
    // that the profile did not take them.
    state.settings_unsaved = 1;
    char text[kBufferSize + sizeof failure.file + sizeof failure.reason];
    std::snprintf(text, sizeof text, msg::kSaveFailedFormat, failure.file, failure.reason);
    plat::MessageBox(plat::GetFocus(), text, msg::kSaveFailedCaption,
                     plat::kMbSystemModal | plat::kMbIconWarning);
  }
  return 1;
}

std::intptr_t ConfigDialogProc(plat::Handle dialog, std::uint32_t message, std::uintptr_t wparam,
                               std::intptr_t /*lparam*/) {
  if (message == plat::kWmInitDialog) {
    InitialiseDialog(dialog);
    return 1;
  }
  if (message != plat::kWmCommand) return 0;

  const auto id = static_cast<std::uint16_t>(wparam & 0xFFFF);
  switch (id) {
    case msg::kIdCom1:
    case msg::kIdCom2:
    case msg::kIdCom3:
    case msg::kIdCom4:
      if (plat::IsDlgButtonChecked(dialog, id) == plat::kBstChecked) {
        State().pending_port_digit = static_cast<char>('1' + (id - msg::kIdCom1));
      }
      return 1;
    case msg::kIdOk:
      TakeBackSettings(dialog);
      plat::EndDialog(dialog, 1);
      return 1;
    case msg::kIdCancel:
      plat::EndDialog(dialog, 0);
      return 1;
    default:
      return 0;
  }
}

}  // namespace ctl
