// A serial backend for tests: the seam's Serial* calls served from memory,
// with a box that answers each character sent with bytes set beforehand,
// and faults that make any call fail, or a read return fewer bytes, on a
// chosen call.  Nothing waits: a read returns at once with what is queued,
// so a test or a fuzz target reaches every failure path of the link without
// a real time-out.  Linked in place of the platform's serial port.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace plat::fault {

enum class Call : int {
  kOpen,
  kBuildLineSettings,
  kSetLineSettings,
  kSetTimeouts,
  kPurge,
  kTransmit,
  kRead,
  kClose,
  kClearErrors,
};
inline constexpr int kCallKinds = 9;

// Back to the start: no port open, nothing queued or answered, no faults,
// every call count 0.
void Reset();

// The `nth` call of `call` from now on (1: the next) fails, and the `times - 1`
// calls after it too; times < 0 makes every call from the nth on fail.
void Fail(Call call, int nth = 1, int times = 1);
// The `nth` read from now on returns at most `most` bytes (0: none) even
// when more are queued.  Reads not named return all they can.
void ShortRead(int nth, std::uint32_t most);
// With latching on, the port behaves like a Windows port that stops on
// errors: once a send or read has failed, every later send and read fails
// too until SerialClearErrors is called.
void LatchErrors(bool on);
// Calls of each kind made since Reset, failed ones included.
int Calls(Call call);

// What the box answers to a character: queued on the line each time that
// character is sent.  Characters without an answer are taken in silence.
void SetAnswer(char command, std::string_view bytes);
// Bytes that arrive on the line now, whatever was sent (a late answer).
void Arrive(std::string_view bytes);
// Bytes on the line that no read has taken yet.
std::string Waiting();
// Every character sent since Reset, in order.
std::string Sent();

// The port's state as the calls left it.
bool IsOpen(Handle port);
Handle OpenPort();  // the handle of the open port, or kInvalidHandle
LineSettings AppliedLine();
Timeouts AppliedTimeouts();
std::string OpenedName();  // the name the last successful open was given

}  // namespace plat::fault
