// One query of the setting-circle box.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "link/link.h"
#include "link/messages.h"

namespace ctl {
namespace {

constexpr std::uint32_t kCountsLength = 14;
constexpr std::uint32_t kStatusLength = 4;
constexpr std::uint32_t kFieldLength = 6;  // a sign and five characters
constexpr std::int16_t kStatusOff = 255;
constexpr std::int16_t kStatusShort = 2989;
constexpr std::int16_t kWarnAfter = 20;
constexpr std::uint32_t kPurgeAll =
    plat::kPurgeTxAbort | plat::kPurgeRxAbort | plat::kPurgeTxClear | plat::kPurgeRxClear;

constexpr std::uint32_t kSystemWarning = plat::kMbOk | plat::kMbIconWarning | plat::kMbSystemModal;
constexpr std::uint32_t kWarning = plat::kMbOk | plat::kMbIconWarning;

// One more failed exchange.  The count stops at its largest value instead of
// wrapping negative, so a long run of failures cannot silence the warning.
void CountFailure(PluginState& state) {
  if (state.link_failures < INT16_MAX) ++state.link_failures;
}

bool IsSign(char c) { return c == '+' || c == '-'; }

// A number field as the box writes it: a sign, digits, an optional decimal
// point and digits, ending at the first other character or the terminator.
double FieldValue(const char* field) {
  const char* p = field;
  bool negative = false;
  if (IsSign(*p)) negative = *p++ == '-';
  double mantissa = 0.0;
  double scale = 1.0;
  for (; *p >= '0' && *p <= '9'; ++p) mantissa = mantissa * 10.0 + (*p - '0');
  if (*p == '.') {
    for (++p; *p >= '0' && *p <= '9'; ++p) {
      mantissa = mantissa * 10.0 + (*p - '0');
      scale *= 10.0;
    }
  }
  const double value = mantissa / scale;
  return negative ? -value : value;
}

// Finds the next field at or after `from` among the `received` bytes and
// converts it.  The search and the copy stay within the bytes received; a
// field cut off by the end of the answer holds the characters that came.
// Returns the position of the field's sign, or `received` when there is
// none: the axis then reads 0.
std::uint32_t TakeField(const char* reply, std::uint32_t from, std::uint32_t received, char* field,
                        double& value) {
  std::uint32_t sign = std::min(from, received);
  while (sign < received && !IsSign(reply[sign])) ++sign;
  // No sign: an empty field, which reads 0.
  const std::uint32_t length = std::min(received - sign, kFieldLength);
  std::memcpy(field, reply + sign, length);
  field[length] = '\0';
  value = FieldValue(field);
  return sign;
}

// The status at the start of the reply buffer: blanks, a sign and digits up
// to the first other character, kept in its low 16 bits.  The number may run
// on into what the counts answer left behind, but never past the buffer.
std::int16_t StatusValue(const char* reply, std::uint32_t size) {
  std::uint32_t i = 0;
  while (i < size && (reply[i] == ' ' || (reply[i] >= '\t' && reply[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < size && IsSign(reply[i])) negative = reply[i++] == '-';
  // Summed modulo 2^32, which keeps the low 16 bits exact.
  std::uint32_t value = 0;
  for (; i < size && reply[i] >= '0' && reply[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(reply[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFFu));
}

}  // namespace

CountsAnswer ExchangeCounts(const Settings& settings) {
  PluginState& state = State();
  CountsAnswer answer;
  char field[sizeof msg::kEmptyBuffer];
  std::memcpy(answer.reply, msg::kEmptyBuffer, sizeof answer.reply);
  std::memcpy(field, msg::kEmptyBuffer, sizeof field);
  const plat::Handle port = settings.port;

  plat::SerialPurge(port, kPurgeAll);
  if (!plat::SerialTransmitChar(port, 'Q')) {
    plat::SerialClearErrors(port);
    CountFailure(state);
    plat::MessageBox(0, msg::kFailedSendQ, msg::kWriteCommErrorCaption, kSystemWarning);
    return answer;
  }
  std::uint32_t received = 0;
  if (!plat::SerialRead(port, answer.reply, kCountsLength, &received)) {
    plat::SerialClearErrors(port);
    CountFailure(state);
    plat::MessageBox(0, msg::kCannotReadQ, msg::kReadCommErrorCaption, kSystemWarning);
    return answer;
  }
  answer.read = true;
  received = std::min(received, kCountsLength);
  if (received < kCountsLength) {
    CountFailure(state);
    return answer;
  }
  const std::uint32_t first = TakeField(answer.reply, 0, received, field, answer.count1);
  bool both_fields = false;
  if (first < received) {
    both_fields =
        TakeField(answer.reply, first + kFieldLength, received, field, answer.count2) < received;
  }
  // Fourteen bytes without both signed fields (a box at another baud rate,
  // line noise) are no answer either: they count toward the warning.
  if (both_fields) {
    state.link_failures = 0;
  } else {
    CountFailure(state);
  }
  answer.complete = both_fields;
  return answer;
}

StatusAnswer ExchangeStatus(const Settings& settings, CountsAnswer& counts) {
  PluginState& state = State();
  StatusAnswer answer;
  if (settings.PCode != 1) {
    answer.read = true;
    answer.status = kStatusOff;
    return answer;
  }
  const plat::Handle port = settings.port;
  if (!plat::SerialTransmitChar(port, 'P')) {
    plat::SerialClearErrors(port);
    CountFailure(state);
    plat::MessageBox(plat::GetFocus(), msg::kFailedSendP, msg::kWriteCommErrorCaption,
                     kSystemWarning);
    return answer;
  }
  std::uint32_t received = 0;
  if (!plat::SerialRead(port, counts.reply, kStatusLength, &received)) {
    plat::SerialClearErrors(port);
    CountFailure(state);
    plat::MessageBox(plat::GetFocus(), msg::kCannotReadP, msg::kReadCommErrorCaption,
                     kSystemWarning);
    return answer;
  }
  answer.read = true;
  if (received == kStatusLength) {
    // A good status clears the count only when the counts came too: a box
    // that answers "P" but never gives counts must still be warned about.
    if (counts.complete) state.link_failures = 0;
    answer.status = StatusValue(counts.reply, sizeof counts.reply);
  } else {
    CountFailure(state);
    answer.status = kStatusShort;
  }
  return answer;
}

void WarnAfterFailures() {
  PluginState& state = State();
  if (state.link_failures > kWarnAfter) {
    state.link_failures = 0;
    plat::MessageBox(0, msg::kCheckConnections, msg::kCommunicationErrorCaption, kWarning);
  }
}

}  // namespace ctl
