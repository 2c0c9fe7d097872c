// The LX200 command language as planetarium programs speak it to a telescope
// over a serial line or TCP: commands ":XX...#", the single byte ACK (0x06),
// answers ending in '#' or one digit.  Pure functions over text, apart from
// the sockets that carry it (lx200_server.h).
//
// Coordinates are right ascension and declination of the date (the equinox
// of the date), as the protocol's clients expect; low precision
// "HH:MM.T" / "sDD*MM", high precision "HH:MM:SS" / "sDD*MM'SS", toggled
// by ":U#".
#pragma once

#include <optional>
#include <string>

#include "astro.h"

namespace host::lx200 {

// The longest command a client may leave unfinished in its buffer: anything
// longer without its '#' is not a command.
inline constexpr std::size_t kMaxCommand = 64;

// Takes the next command from the front of `buffer`: "\x06" for ACK, else the
// text from ':' to '#' inclusive.  Bytes before a ':' that are not ACK (line
// ends, a '#' some clients send first, garbage) are dropped.  Nothing when no
// whole command is there yet; what is left stays for the next read.
std::optional<std::string> NextCommand(std::string& buffer);

// "HH:MM.T" or "HH:MM:SS" (no '#'), of an angle in radians.
std::string FormatRa(double ra, bool high_precision);
// "sDD*MM" or "sDD*MM'SS".
std::string FormatDec(double dec, bool high_precision);
// "DDD*MM" or "DDD*MM'SS", an azimuth from 0 to 360 degrees.
std::string FormatAzimuth(double azimuth, bool high_precision);

// The argument of ":Sr": "HH:MM:SS", "HH:MM.T" or "HH:MM", a space before it
// allowed.  Nothing when it is not a right ascension.
std::optional<double> ParseRa(const std::string& text);
// The argument of ":Sd": "sDD*MM:SS", "sDD*MM'SS", "sDD*MM", "sDD:MM:SS"
// (the degree sign '*', ':' or 0xDF).  Nothing when it is not a declination.
std::optional<double> ParseDec(const std::string& text);

// What one client's connection remembers between commands.
struct ClientState {
  bool high_precision = false;  // a real LX200 starts in low precision
  std::optional<double> target_ra;
  std::optional<double> target_dec;
};

// What the host knows when it answers.
struct Context {
  std::optional<astro::Equatorial> position;  // the telescope, apparent place of the date
  std::optional<astro::Horizontal> horizontal;
  bool alt_azimuth = false;
  double latitude = 0.0, longitude = 0.0;  // the site, radians, east positive
  double local_sidereal_time = 0.0;
  // The local civil time: seconds since midnight, the date, and the hours
  // that local time is ahead of UTC.
  int seconds_of_day = 0, day = 1, month = 1, year = 2000;
  double utc_offset_hours = 0.0;
};

// What a command asks of the host beyond its answer.
enum class Action {
  kNone,
  kSync,  // ":CM#": the target is where the telescope points; the host answers
  kGoto,  // ":MS#": guide the person to the target
};

struct Reply {
  std::string text;  // sent back as it is (may be empty)
  Action action = Action::kNone;
};

// Answers one command (as NextCommand gives it).  Unknown commands get no
// answer, as on a real telescope, and neither do the position queries while
// the host has no position.  A sync or goto without a target set is
// refused ("#" for ":CM#", "1No target#" for ":MS#").
Reply Answer(const std::string& command, ClientState& state, const Context& context);

// The answers to ":CM#" once the host has acted: the object's name, or "#"
// alone when the host refused it.
std::string SyncAnswer(const std::string& object_name);
inline std::string SyncRefusal() { return "#"; }

}  // namespace host::lx200
