#include "stellarium_protocol.h"

#include <algorithm>
#include <cmath>

#include "astro.h"

namespace host::stellarium {
namespace {

void Put(std::uint8_t* at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t Get(const std::string& buffer, std::size_t offset, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<std::uint8_t>(buffer[offset + static_cast<std::size_t>(i)]);
  }
  return value;
}

}  // namespace

std::uint32_t EncodeRa(double ra) {
  const double turns = astro::WrapTwoPi(ra) / astro::kTwoPi;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::llround(turns * 4294967296.0)) &
                                    0xFFFFFFFFu);
}

std::int32_t EncodeDec(double dec) {
  const double quarter = std::clamp(dec / (astro::kPi / 2), -1.0, 1.0);
  return static_cast<std::int32_t>(std::llround(quarter * 1073741824.0));
}

double DecodeRa(std::uint32_t value) { return value / 4294967296.0 * astro::kTwoPi; }
double DecodeDec(std::int32_t value) { return value / 1073741824.0 * (astro::kPi / 2); }

std::array<std::uint8_t, kPositionLength> PositionMessage(double ra, double dec,
                                                          std::int64_t time_us,
                                                          std::int32_t status) {
  std::array<std::uint8_t, kPositionLength> m{};
  Put(&m[0], kPositionLength, 2);
  Put(&m[2], 0, 2);
  Put(&m[4], static_cast<std::uint64_t>(time_us), 8);
  Put(&m[12], EncodeRa(ra), 4);
  Put(&m[16], static_cast<std::uint32_t>(EncodeDec(dec)), 4);
  Put(&m[20], static_cast<std::uint32_t>(status), 4);
  return m;
}

Parse NextMessage(std::string& buffer, Goto* out) {
  if (buffer.size() < 2) return Parse::kNeedMore;
  const std::size_t length = Get(buffer, 0, 2);
  if (length < 4 || length > kMaxMessage) return Parse::kBad;
  if (buffer.size() < length) return Parse::kNeedMore;
  const std::uint64_t type = Get(buffer, 2, 2);
  Parse result = Parse::kSkipped;
  if (type == 0 && length == kGotoLength && out != nullptr) {
    out->time_us = static_cast<std::int64_t>(Get(buffer, 4, 8));
    out->ra = DecodeRa(static_cast<std::uint32_t>(Get(buffer, 12, 4)));
    out->dec = DecodeDec(static_cast<std::int32_t>(static_cast<std::uint32_t>(Get(buffer, 16, 4))));
    result = Parse::kGoto;
  }
  buffer.erase(0, length);
  return result;
}

}  // namespace host::stellarium
