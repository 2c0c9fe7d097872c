// Stellarium's telescope-server protocol: binary messages over TCP, every
// integer least significant byte first.  Each message starts with its length
// (2 bytes, the whole message) and its type (2 bytes).
//
// Server to client, type 0, 24 bytes: the time (8 bytes, microseconds since
// 1970-01-01 UT), right ascension (4 bytes unsigned, 0x100000000 = 24h),
// declination (4 bytes signed, 0x40000000 = +90 degrees), status (4 bytes
// signed, 0 = well, below 0 an error): the telescope at J2000.
// Client to server, type 0, 20 bytes: time, right ascension, declination of a
// goto, at J2000.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace host::stellarium {

inline constexpr std::size_t kPositionLength = 24;
inline constexpr std::size_t kGotoLength = 20;
// The longest message this server takes in; a longer length field means the
// client does not speak the protocol.
inline constexpr std::size_t kMaxMessage = 256;

// Radians to the protocol's fixed-point angles and back.
std::uint32_t EncodeRa(double ra);
std::int32_t EncodeDec(double dec);
double DecodeRa(std::uint32_t value);
double DecodeDec(std::int32_t value);

// The position message.
std::array<std::uint8_t, kPositionLength> PositionMessage(double ra, double dec,
                                                          std::int64_t time_us,
                                                          std::int32_t status = 0);

struct Goto {
  double ra = 0.0;  // J2000, radians
  double dec = 0.0;
  std::int64_t time_us = 0;
};

enum class Parse {
  kNeedMore,  // no whole message yet
  kGoto,      // a goto, in *out
  kSkipped,   // a whole message of another type or length, dropped
  kBad,       // a length field below 4 or above kMaxMessage: not this protocol
};
// Takes the next message from the front of `buffer`.
Parse NextMessage(std::string& buffer, Goto* out);

}  // namespace host::stellarium
