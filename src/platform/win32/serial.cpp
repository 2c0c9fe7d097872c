// Serial ports on Windows: the communications calls themselves.
//
// SetCommState is given the port's own device-control record (GetCommState)
// with the fields the core set changed, so that DCBlength, the XON and XOFF
// characters and the flow-control limits are the driver's.  Windows refuses
// a record whose XonChar equals XoffChar while XON/XOFF is on, which a record
// built from nothing would have.
#include "platform/platform.h"
#include "platform/win32/windows_api.h"

namespace plat {
namespace {

HANDLE AsHandle(Handle port) { return reinterpret_cast<HANDLE>(port); }

char ParityLetter(BYTE parity) {
  switch (parity) {
    case EVENPARITY:
      return 'E';
    case ODDPARITY:
      return 'O';
    case MARKPARITY:
      return 'M';
    case SPACEPARITY:
      return 'S';
    default:
      return 'N';
  }
}

BYTE ParityCode(char letter) {
  switch (letter) {
    case 'E':
      return EVENPARITY;
    case 'O':
      return ODDPARITY;
    case 'M':
      return MARKPARITY;
    case 'S':
      return SPACEPARITY;
    default:
      return NOPARITY;
  }
}

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
  settings.parity = ParityLetter(dcb.Parity);
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
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(AsHandle(port), &dcb)) return false;
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = settings.baud;
  dcb.ByteSize = settings.data_bits;
  dcb.Parity = ParityCode(settings.parity);
  dcb.fParity = settings.parity != 'N';
  dcb.StopBits = settings.stop_bits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fOutX = settings.out_x;
  dcb.fInX = settings.in_x;
  dcb.fOutxCtsFlow = settings.outx_cts_flow;
  dcb.fOutxDsrFlow = settings.outx_dsr_flow;
  dcb.fDtrControl = settings.dtr_enable ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
  dcb.fRtsControl = settings.rts_enable ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
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

bool SerialClose(Handle port) { return CloseHandle(AsHandle(port)) != 0; }

}  // namespace plat
