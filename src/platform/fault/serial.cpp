// The fault-injecting serial backend (see fault_serial.h).
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/fault/fault_serial.h"

namespace plat {
namespace fault {
namespace {

constexpr Handle kHandleBase = 0x5E000;

struct Fault {
  // Call numbers, counted from one since Reset: the first that fails, and
  // the first that no longer does (0: no end).
  int from = 0;
  int until = 0;
};

struct Backend {
  int calls[kCallKinds] = {};
  Fault faults[kCallKinds] = {};
  int short_read_call = 0;  // the read call number that is cut short, 0: none
  std::uint32_t short_read_most = 0;
  std::string answers[256];
  std::string line;  // arrived, not yet read
  std::string sent;
  bool open = false;
  Handle handle = kInvalidHandle;
  std::uint32_t generation = 0;
  LineSettings applied_line{};
  Timeouts applied_timeouts{};
  std::string opened_name;
  bool latching = false;
  bool error_latched = false;
};

Backend& The() {
  static Backend backend;
  return backend;
}

// Counts a call; true when it is one of the calls chosen to fail.
bool Fails(Call call) {
  Backend& b = The();
  const int i = static_cast<int>(call);
  const int n = ++b.calls[i];
  const Fault& f = b.faults[i];
  return f.from != 0 && n >= f.from && (f.until == 0 || n < f.until);
}

bool Valid(Handle port) { return The().open && port == The().handle; }

}  // namespace

void Reset() {
  Backend& b = The();
  const std::uint32_t generation = b.generation;
  b = Backend{};
  b.generation = generation;  // a handle from before a reset stays refused
}

void Fail(Call call, int nth, int times) {
  Backend& b = The();
  const int i = static_cast<int>(call);
  const int from = b.calls[i] + std::max(nth, 1);
  b.faults[i] = {from, times < 0 ? 0 : from + times};
}

void ShortRead(int nth, std::uint32_t most) {
  Backend& b = The();
  b.short_read_call = b.calls[static_cast<int>(Call::kRead)] + std::max(nth, 1);
  b.short_read_most = most;
}

void LatchErrors(bool on) { The().latching = on; }

int Calls(Call call) { return The().calls[static_cast<int>(call)]; }

void SetAnswer(char command, std::string_view bytes) {
  The().answers[static_cast<unsigned char>(command)] = std::string(bytes);
}
void Arrive(std::string_view bytes) { The().line.append(bytes); }
std::string Waiting() { return The().line; }
std::string Sent() { return The().sent; }
bool IsOpen(Handle port) { return Valid(port); }
Handle OpenPort() { return The().open ? The().handle : kInvalidHandle; }
LineSettings AppliedLine() { return The().applied_line; }
Timeouts AppliedTimeouts() { return The().applied_timeouts; }
std::string OpenedName() { return The().opened_name; }

}  // namespace fault

using fault::Call;

Handle SerialOpen(const char* port_name) {
  fault::Backend& b = fault::The();
  if (fault::Fails(Call::kOpen) || b.open || port_name == nullptr) return kInvalidHandle;
  b.open = true;
  b.generation = (b.generation + 1) & 0xFFF;
  b.handle = fault::kHandleBase + b.generation;
  b.opened_name = port_name;
  b.line.clear();
  return b.handle;
}

bool SerialBuildLineSettings(const char* definition, LineSettings& settings) {
  if (fault::Fails(Call::kBuildLineSettings) || definition == nullptr) return false;
  // The line the plug-in asks for; any other definition is refused.
  if (std::strcmp(definition, "baud=9600 parity=N data=8 stop=1") != 0) return false;
  settings = LineSettings{};
  settings.baud = 9600;
  return true;
}

bool SerialSetLineSettings(Handle port, const LineSettings& settings) {
  if (fault::Fails(Call::kSetLineSettings) || !fault::Valid(port)) return false;
  fault::The().applied_line = settings;
  return true;
}

bool SerialSetTimeouts(Handle port, const Timeouts& timeouts) {
  if (fault::Fails(Call::kSetTimeouts) || !fault::Valid(port)) return false;
  fault::The().applied_timeouts = timeouts;
  return true;
}

bool SerialPurge(Handle port, std::uint32_t flags) {
  if (fault::Fails(Call::kPurge) || !fault::Valid(port)) return false;
  if ((flags & (kPurgeRxAbort | kPurgeRxClear)) != 0) fault::The().line.clear();
  return true;
}

namespace fault {
namespace {
// A failed send or read latches an error when latching is on; a latched
// error fails every send and read.
bool FailsLatching(Call call) {
  Backend& b = The();
  const bool injected = Fails(call);
  if (injected && b.latching) b.error_latched = true;
  return injected || b.error_latched;
}
}  // namespace
}  // namespace fault

bool SerialTransmitChar(Handle port, char c) {
  if (fault::FailsLatching(Call::kTransmit) || !fault::Valid(port)) return false;
  fault::Backend& b = fault::The();
  b.sent.push_back(c);
  b.line.append(b.answers[static_cast<unsigned char>(c)]);
  return true;
}

bool SerialRead(Handle port, void* buffer, std::uint32_t size, std::uint32_t* bytes_read) {
  if (bytes_read != nullptr) *bytes_read = 0;
  fault::Backend& b = fault::The();
  const bool fails = fault::FailsLatching(Call::kRead);
  if (fails || !fault::Valid(port) || (size != 0 && buffer == nullptr)) return false;
  std::uint32_t n = size;
  if (n > b.line.size()) n = static_cast<std::uint32_t>(b.line.size());
  if (b.calls[static_cast<int>(Call::kRead)] == b.short_read_call && n > b.short_read_most) {
    n = b.short_read_most;
  }
  if (n != 0) std::memcpy(buffer, b.line.data(), n);
  b.line.erase(0, n);
  if (bytes_read != nullptr) *bytes_read = n;
  return true;
}

bool SerialClearErrors(Handle port) {
  if (fault::Fails(Call::kClearErrors) || !fault::Valid(port)) return false;
  fault::The().error_latched = false;
  return true;
}

bool SerialClose(Handle port) {
  // A close that fails leaves the port open, so a later close can succeed.
  if (fault::Fails(Call::kClose) || !fault::Valid(port)) return false;
  fault::The().open = false;
  return true;
}

}  // namespace plat
