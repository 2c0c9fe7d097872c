// The persisted settings in the profile section, and the
// radians-per-count factors derived from the resolutions.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "settings/settings.h"

namespace ctl {
namespace {

constexpr std::uint32_t kBufferSize = 512;

// Defaults when a key is missing.
constexpr const char* kDefaultResRA = "4096";
constexpr const char* kDefaultResDec = "8192";
constexpr const char* kDefaultCommPort = "COM1";
constexpr const char* kDefaultRefRA = "0.665777659788";
constexpr const char* kDefaultRefDec = "1.55817662667";
constexpr const char* kDefaultMountType = "EQ";
constexpr const char* kDefaultPCode = "ON";
constexpr const char* kDefaultPointModel = "AXES";

// The leading decimal integer of a text, as strtol reads it, 0 when there is
// none; values beyond 32 bits are held at the nearest end.
std::int32_t LeadingInteger(const char* text) {
  const long long value = std::strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

// The leading decimal floating-point number of a text: blanks, a sign,
// digits with an optional point, an optional exponent.  Read without regard
// to the process's locale (a host running in a locale with a decimal comma
// must not lose the reference point).  Spellings of infinity or not-a-number,
// and numbers too large for a double, read as 0.
double LeadingNumber(const char* text) {
  const char* p = text + std::strspn(text, " \t\n\r\f\v");
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  if (!((*p >= '0' && *p <= '9') || (*p == '.' && p[1] >= '0' && p[1] <= '9'))) return 0.0;
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(p, p + std::strlen(p), value, std::chars_format::general);
  if (error != std::errc{} || !std::isfinite(value)) return 0.0;
  return negative ? -value : value;
}

// "%.11f" of a value, whatever the process's locale.
void FormatFixed11(double value, char* text, std::size_t size) {
  const auto [end, error] =
      std::to_chars(text, text + size - 1, value, std::chars_format::fixed, 11);
  *(error == std::errc{} ? end : text) = '\0';
}

// A resolution of 0 would make the radians-per-count factor infinite; a
// stored 0 is taken like a missing key and given the key's default.
std::int32_t ReadResolution(const char* key, const char* default_text) {
  char text[kBufferSize];
  plat::ProfileRead(kProfileSection, key, default_text, text, sizeof text);
  const std::int32_t value = LeadingInteger(text);
  return value != 0 ? value : LeadingInteger(default_text);
}

}  // namespace

int LoadSettings() {
  PluginState& state = State();
  Settings& s = state.settings;
  char text[kBufferSize];

  s.ResRA = ReadResolution("ResRA", kDefaultResRA);
  s.ResDec = ReadResolution("ResDec", kDefaultResDec);

  plat::ProfileRead(kProfileSection, "CommPort", kDefaultCommPort, s.CommPort, sizeof s.CommPort);

  plat::ProfileRead(kProfileSection, "RefRA", kDefaultRefRA, text, sizeof text);
  s.RefRA = LeadingNumber(text);
  plat::ProfileRead(kProfileSection, "RefDec", kDefaultRefDec, text, sizeof text);
  s.RefDec = LeadingNumber(text);

  plat::ProfileRead(kProfileSection, "MountType", kDefaultMountType, text, sizeof text);
  s.MountType = std::strcmp(text, "AA") == 0 ? kAltAzimuth : kEquatorial;
  plat::ProfileRead(kProfileSection, "PCode", kDefaultPCode, text, sizeof text);
  s.PCode = std::strcmp(text, "ON") == 0 ? 1 : 0;
  plat::ProfileRead(kProfileSection, "PointModel", kDefaultPointModel, text, sizeof text);
  s.PointModel = std::strcmp(text, "MOUNT") == 0 ? kMountModel : kAxesModel;

  state.RadPerCountRA = RadiansPerCount(s.ResRA);
  state.RadPerCountDec = RadiansPerCount(s.ResDec);
  return 1;
}

bool WriteSettings(plat::ProfileWriteFailure* failure) {
  const Settings& s = State().settings;
  char text[kBufferSize];
  bool saved = true;
  // Every key is written even after a failure; the first failure is the one told.
  auto write = [&](const char* key, const char* value) {
    if (!plat::ProfileWrite(kProfileSection, key, value, saved ? failure : nullptr)) saved = false;
  };

  std::snprintf(text, sizeof text, "%i", s.ResRA);
  write("ResRA", text);
  std::snprintf(text, sizeof text, "%i", s.ResDec);
  write("ResDec", text);
  write("CommPort", s.CommPort);
  FormatFixed11(s.RefRA, text, sizeof text);
  write("RefRA", text);
  FormatFixed11(s.RefDec, text, sizeof text);
  write("RefDec", text);
  write("MountType", s.MountType == kAltAzimuth ? "AA" : "EQ");
  write("PCode", s.PCode == 1 ? "ON" : "OFF");
  write("PointModel", s.PointModel == kMountModel ? "MOUNT" : "AXES");
  return saved;
}

int SaveSettings() {
  WriteSettings(nullptr);
  return 1;
}

int LoadSettingsUnlessUnsaved() { return State().settings_unsaved != 0 ? 1 : LoadSettings(); }

}  // namespace ctl
