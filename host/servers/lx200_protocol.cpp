#include "lx200_protocol.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace host::lx200 {
namespace {

constexpr char kAck = '\x06';

// Whole units of `step` in `value`, rounded, as unsigned counts.
long Units(double value, double step) { return std::lround(value / step); }

std::string TwoDigits(long n) {
  char text[24];
  std::snprintf(text, sizeof text, "%02ld", n);
  return text;
}

// Reads an unsigned decimal number (digits, optionally one '.' and more
// digits) at text[*at]; false when there is none.
bool ReadNumber(const std::string& text, std::size_t* at, double* value, bool allow_fraction) {
  const std::size_t start = *at;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') ++*at;
  if (*at == start || *at - start > 3) return false;
  if (allow_fraction && *at < text.size() && text[*at] == '.') {
    const std::size_t dot = ++*at;
    while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') ++*at;
    if (*at == dot) return false;
  }
  *value = std::strtod(text.substr(start, *at - start).c_str(), nullptr);
  return true;
}

bool IsSeparator(char c) {
  return c == ':' || c == '*' || c == '\'' || c == static_cast<char>(0xDF);
}

std::string Sign(bool negative) { return negative ? "-" : "+"; }

}  // namespace

std::optional<std::string> NextCommand(std::string& buffer) {
  std::size_t start = 0;
  while (start < buffer.size() && buffer[start] != ':' && buffer[start] != kAck) ++start;
  if (start == buffer.size()) {
    buffer.clear();
    return std::nullopt;
  }
  if (buffer[start] == kAck) {
    buffer.erase(0, start + 1);
    return std::string(1, kAck);
  }
  buffer.erase(0, start);
  const std::size_t end = buffer.find('#');
  if (end == std::string::npos) return std::nullopt;
  std::string command = buffer.substr(0, end + 1);
  buffer.erase(0, end + 1);
  return command;
}

std::string FormatRa(double ra, bool high_precision) {
  const double hours = astro::WrapTwoPi(ra) / astro::kHour;
  if (high_precision) {
    const long s = Units(hours * 3600.0, 1.0) % (24 * 3600);
    return TwoDigits(s / 3600) + ":" + TwoDigits(s / 60 % 60) + ":" + TwoDigits(s % 60);
  }
  const long tenths = Units(hours * 600.0, 1.0) % (24 * 600);
  return TwoDigits(tenths / 600) + ":" + TwoDigits(tenths / 10 % 60) + "." +
         std::to_string(tenths % 10);
}

std::string FormatDec(double dec, bool high_precision) {
  const double degrees = std::fabs(dec) / astro::kDegree;
  const bool negative = dec < 0.0;
  if (high_precision) {
    const long s = std::min(Units(degrees * 3600.0, 1.0), 90L * 3600);
    if (s == 0) return "+00*00'00";
    return Sign(negative) + TwoDigits(s / 3600) + "*" + TwoDigits(s / 60 % 60) + "'" +
           TwoDigits(s % 60);
  }
  const long m = std::min(Units(degrees * 60.0, 1.0), 90L * 60);
  if (m == 0) return "+00*00";
  return Sign(negative) + TwoDigits(m / 60) + "*" + TwoDigits(m % 60);
}

std::string FormatAzimuth(double azimuth, bool high_precision) {
  const double degrees = astro::WrapTwoPi(azimuth) / astro::kDegree;
  char text[32];
  if (high_precision) {
    const long s = Units(degrees * 3600.0, 1.0) % (360 * 3600);
    std::snprintf(text, sizeof text, "%03ld*%02ld'%02ld", s / 3600, s / 60 % 60, s % 60);
  } else {
    const long m = Units(degrees * 60.0, 1.0) % (360 * 60);
    std::snprintf(text, sizeof text, "%03ld*%02ld", m / 60, m % 60);
  }
  return text;
}

std::optional<double> ParseRa(const std::string& raw) {
  const std::size_t first = raw.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  const std::string text = raw.substr(first);
  std::size_t at = 0;
  double hours = 0, minutes = 0, seconds = 0;
  if (!ReadNumber(text, &at, &hours, false) || at >= text.size() || text[at] != ':') {
    return std::nullopt;
  }
  const std::size_t minutes_at = ++at;
  if (!ReadNumber(text, &at, &minutes, true)) return std::nullopt;
  const bool fractional_minutes =
      text.find('.', minutes_at) != std::string::npos && text.find('.', minutes_at) < at;
  if (at < text.size() && text[at] == ':' && !fractional_minutes) {
    ++at;
    if (!ReadNumber(text, &at, &seconds, true)) return std::nullopt;
  }
  if (at != text.size() || hours >= 24 || minutes >= 60 || seconds >= 60) return std::nullopt;
  return astro::FromHms(hours, minutes, seconds);
}

std::optional<double> ParseDec(const std::string& raw) {
  const std::size_t first = raw.find_first_not_of(' ');
  if (first == std::string::npos) return std::nullopt;
  const std::string text = raw.substr(first);
  std::size_t at = 0;
  bool negative = false;
  if (text[at] == '+' || text[at] == '-') negative = text[at++] == '-';
  double degrees = 0, minutes = 0, seconds = 0;
  if (!ReadNumber(text, &at, &degrees, false) || at >= text.size() || !IsSeparator(text[at])) {
    return std::nullopt;
  }
  ++at;
  if (!ReadNumber(text, &at, &minutes, false)) return std::nullopt;
  if (at < text.size() && IsSeparator(text[at])) {
    ++at;
    if (!ReadNumber(text, &at, &seconds, true)) return std::nullopt;
  }
  if (at != text.size() || minutes >= 60 || seconds >= 60) return std::nullopt;
  const double value = astro::FromDms(negative, degrees, minutes, seconds);
  if (std::fabs(value) > astro::kPi / 2 + 1e-12) return std::nullopt;
  return value;
}

std::string SyncAnswer(const std::string& object_name) {
  std::string name;
  for (char c : object_name) name += c == '#' ? ' ' : c;
  return name + "#";
}

Reply Answer(const std::string& command, ClientState& state, const Context& context) {
  if (command == std::string(1, kAck)) return {context.alt_azimuth ? "A" : "P"};
  if (command.size() < 3 || command.front() != ':' || command.back() != '#') return {};
  const std::string body = command.substr(1, command.size() - 2);
  const bool high = state.high_precision;
  // Without a position from the plug-in there is nothing to answer: a
  // client times out rather than show the telescope where it is not.
  auto position = [&](bool ra) -> Reply {
    if (!context.position) return {};
    const astro::Equatorial p = *context.position;
    return {(ra ? FormatRa(p.ra, high) : FormatDec(p.dec, high)) + "#"};
  };
  if (body == "GR") return position(true);
  if (body == "GD") return position(false);
  if (body == "GA" || body == "GZ") {
    if (!context.horizontal) return {};
    const astro::Horizontal h = *context.horizontal;
    return {(body == "GA" ? FormatDec(h.altitude, high) : FormatAzimuth(h.azimuth, high)) + "#"};
  }
  if (body == "Gr") return {FormatRa(state.target_ra.value_or(0.0), high) + "#"};
  if (body == "Gd") return {FormatDec(state.target_dec.value_or(0.0), high) + "#"};
  if (body == "U") {
    state.high_precision = !state.high_precision;
    return {};
  }
  if (body == "GS") return {FormatRa(context.local_sidereal_time, true) + "#"};
  if (body == "GL" || body == "Ga") {
    int s = context.seconds_of_day;
    if (body == "Ga") s %= 12 * 3600;
    return {TwoDigits(s / 3600) + ":" + TwoDigits(s / 60 % 60) + ":" + TwoDigits(s % 60) + "#"};
  }
  if (body == "GC") {
    return {TwoDigits(context.month) + "/" + TwoDigits(context.day) + "/" +
            TwoDigits(context.year % 100) + "#"};
  }
  if (body == "GG") {
    // The hours to add to local time to get UTC.
    char text[32];
    const double add = -context.utc_offset_hours;
    if (add == std::floor(add)) {
      std::snprintf(text, sizeof text, "%+03d#", static_cast<int>(add));
    } else {
      std::snprintf(text, sizeof text, "%+05.1f#", add);
    }
    return {text};
  }
  if (body == "Gt") return {FormatDec(context.latitude, false) + "#"};
  if (body == "Gg") {
    // The protocol counts longitude westwards: east longitudes are negative.
    const double west = -context.longitude;
    const long m = std::lround(std::fabs(west) / astro::kArcminute);
    char text[32];
    std::snprintf(text, sizeof text, "%c%03ld*%02ld#", west < 0 ? '-' : '+', m / 60, m % 60);
    return {text};
  }
  if (body == "Gc") return {"24#"};
  if (body == "GVP") return {"velastra-host#"};
  if (body == "GVN") return {"1.0#"};
  if (body == "GVD") return {__DATE__ "#"};
  if (body == "GVT") return {__TIME__ "#"};
  if (body == "GVF") return {"velastra-host setting circles#"};
  if (body == "D") return {"#"};  // no slew in progress: no distance bars
  if (body.rfind("Sr", 0) == 0) {
    const std::optional<double> ra = ParseRa(body.substr(2));
    if (ra) state.target_ra = *ra;
    return {ra ? "1" : "0"};
  }
  if (body.rfind("Sd", 0) == 0) {
    const std::optional<double> dec = ParseDec(body.substr(2));
    if (dec) state.target_dec = *dec;
    return {dec ? "1" : "0"};
  }
  if (body == "CM" || body == "CMR") {
    if (!state.target_ra || !state.target_dec) return {SyncRefusal()};
    return {"", Action::kSync};
  }
  if (body == "MS") {
    if (!state.target_ra || !state.target_dec) return {"1No target#"};
    return {"0", Action::kGoto};
  }
  // Site, time and date from the client: accepted, though the host keeps its
  // own (its site options and the system clock).
  if (body.rfind("SC", 0) == 0)
    return {"1Updating Planetary Data#                                #"};
  if (body.rfind("St", 0) == 0 || body.rfind("Sg", 0) == 0 || body.rfind("SG", 0) == 0 ||
      body.rfind("SL", 0) == 0) {
    return {"1"};
  }
  return {};
}

}  // namespace host::lx200
