// Serial ports on Windows: the communications calls themselves.
//
// SetCommState is given a record with every field set (line_record.h), not
// the port's own record with a few fields changed: the driver keeps the
// record between opens, and what another program left in it would stay.
#include "platform/platform.h"
#include "platform/win32/line_record.h"
#include "platform/win32/windows_api.h"

namespace plat {
namespace {

HANDLE AsHandle(Handle port) { return reinterpret_cast<HANDLE>(port); }

static_assert(sizeof(DCB) == 28, "the device-control record has the fields line_record.h sets");
static_assert(win32::kNoParity == NOPARITY);
static_assert(win32::kOddParity == ODDPARITY);
static_assert(win32::kEvenParity == EVENPARITY);
static_assert(win32::kMarkParity == MARKPARITY);
static_assert(win32::kSpaceParity == SPACEPARITY);
static_assert(win32::kOneStopBit == ONESTOPBIT);
static_assert(win32::kTwoStopBits == TWOSTOPBITS);
static_assert(win32::kDtrControlEnable == DTR_CONTROL_ENABLE);
static_assert(win32::kDtrControlDisable == DTR_CONTROL_DISABLE);
static_assert(win32::kRtsControlEnable == RTS_CONTROL_ENABLE);
static_assert(win32::kRtsControlDisable == RTS_CONTROL_DISABLE);

}  // namespace

Handle SerialOpen(const char* port_name) {
  const HANDLE port = CreateFileA(port_name, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return port == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(port);
}

bool SerialBuildLineSettings(const char* definition, LineSettings& settings) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!BuildCommDCBA(definition, &dcb)) return false;
  settings.baud = dcb.BaudRate;
  settings.data_bits = dcb.ByteSize;
  settings.parity = win32::ParityLetter(dcb.Parity);
  settings.stop_bits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
  settings.out_x = dcb.fOutX != 0;
  settings.in_x = dcb.fInX != 0;
  settings.outx_cts_flow = dcb.fOutxCtsFlow != 0;
  settings.outx_dsr_flow = dcb.fOutxDsrFlow != 0;
  settings.dtr_enable = dcb.fDtrControl == DTR_CONTROL_ENABLE;
  settings.rts_enable = dcb.fRtsControl == RTS_CONTROL_ENABLE;
  return true;
}

bool SerialSetLineSettings(Handle port, const LineSettings& settings) {
  // Queues of a known size, which the flow-control limits are measured in;
  // a driver that keeps its own sizes is no failure.
  SetupComm(AsHandle(port), win32::kQueueBytes, win32::kQueueBytes);
  DCB dcb = win32::LineRecord<DCB>(settings);
  return SetCommState(AsHandle(port), &dcb) != 0;
}

bool SerialSetTimeouts(Handle port, const Timeouts& timeouts) {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = timeouts.read_interval;
  t.ReadTotalTimeoutMultiplier = timeouts.read_total_multiplier;
  t.ReadTotalTimeoutConstant = timeouts.read_total_constant;
  t.WriteTotalTimeoutMultiplier = timeouts.write_total_multiplier;
  t.WriteTotalTimeoutConstant = timeouts.write_total_constant;
  return SetCommTimeouts(AsHandle(port), &t) != 0;
}

// The purge flags are PurgeComm's own bit values.
bool SerialPurge(Handle port, std::uint32_t flags) { return PurgeComm(AsHandle(port), flags) != 0; }

bool SerialTransmitChar(Handle port, char c) { return TransmitCommChar(AsHandle(port), c) != 0; }

bool SerialRead(Handle port, void* buffer, std::uint32_t size, std::uint32_t* bytes_read) {
  DWORD got = 0;
  const BOOL ok = ReadFile(AsHandle(port), buffer, size, &got, nullptr);
  if (bytes_read != nullptr) *bytes_read = ok ? got : 0;
  return ok != 0;
}

bool SerialClearErrors(Handle port) {
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(AsHandle(port), &errors, &status) != 0;
}

bool SerialClose(Handle port) { return CloseHandle(AsHandle(port)) != 0; }

}  // namespace plat
