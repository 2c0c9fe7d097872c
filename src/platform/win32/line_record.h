// The device-control record (DCB) that SetCommState is given, built from the
// line settings alone.  The serial driver keeps a port's record between
// opens, so a record taken from GetCommState carries whatever the port's last
// user left: fAbortOnError (one framing error stops every later read and
// write), fDsrSensitivity (every byte dropped while DSR is low), fNull,
// fErrorChar, odd XON/XOFF limits, or XonChar equal to XoffChar (which makes
// SetCommState fail).  So every field is set here: the line settings' where
// they name one, Windows' usual values otherwise.
//
// A template over the record type with no OS header, so that the same code
// builds the real DCB in the Windows layer and a record of the same fields
// in the tests on any platform.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace plat::win32 {

// The Win32 values of the record's coded fields.
inline constexpr std::uint8_t kNoParity = 0, kOddParity = 1, kEvenParity = 2, kMarkParity = 3,
                              kSpaceParity = 4;
inline constexpr std::uint8_t kOneStopBit = 0, kTwoStopBits = 2;
inline constexpr std::uint32_t kDtrControlDisable = 0, kDtrControlEnable = 1;
inline constexpr std::uint32_t kRtsControlDisable = 0, kRtsControlEnable = 1;

// XON and XOFF (DC1 and DC3), and the flow-control limits for the input
// queue the Windows layer asks for (kQueueBytes): XOFF goes out when fewer
// than kXoffLimit bytes are free, XON again when no more than kXonLimit are
// in use.
inline constexpr char kXonChar = 0x11;
inline constexpr char kXoffChar = 0x13;
inline constexpr std::uint32_t kQueueBytes = 4096;
inline constexpr std::uint16_t kXonLimit = 2048;
inline constexpr std::uint16_t kXoffLimit = 512;

inline std::uint8_t ParityCode(char letter) {
  switch (letter) {
    case 'E':
      return kEvenParity;
    case 'O':
      return kOddParity;
    case 'M':
      return kMarkParity;
    case 'S':
      return kSpaceParity;
    default:
      return kNoParity;
  }
}

inline char ParityLetter(std::uint8_t code) {
  switch (code) {
    case kEvenParity:
      return 'E';
    case kOddParity:
      return 'O';
    case kMarkParity:
      return 'M';
    case kSpaceParity:
      return 'S';
    default:
      return 'N';
  }
}

template <typename Record>
Record LineRecord(const LineSettings& line) {
  Record r{};
  r.DCBlength = sizeof(Record);
  r.BaudRate = line.baud;
  r.fBinary = 1;  // Windows supports binary mode only
  r.fParity = line.parity != 'N' ? 1 : 0;
  r.fOutxCtsFlow = line.outx_cts_flow ? 1 : 0;
  r.fOutxDsrFlow = line.outx_dsr_flow ? 1 : 0;
  r.fDtrControl = line.dtr_enable ? kDtrControlEnable : kDtrControlDisable;
  r.fDsrSensitivity = 0;
  // The box sends only when asked: what the plug-in sends never waits for
  // its own XOFF.
  r.fTXContinueOnXoff = 1;
  r.fOutX = line.out_x ? 1 : 0;
  r.fInX = line.in_x ? 1 : 0;
  r.fErrorChar = 0;
  r.fNull = 0;
  r.fRtsControl = line.rts_enable ? kRtsControlEnable : kRtsControlDisable;
  r.fAbortOnError = 0;
  r.fDummy2 = 0;
  r.wReserved = 0;
  r.XonLim = kXonLimit;
  r.XoffLim = kXoffLimit;
  r.ByteSize = line.data_bits;
  r.Parity = ParityCode(line.parity);
  r.StopBits = line.stop_bits == 2 ? kTwoStopBits : kOneStopBit;
  r.XonChar = kXonChar;
  r.XoffChar = kXoffChar;
  r.ErrorChar = 0;
  r.EofChar = 0;
  r.EvtChar = 0;
  r.wReserved1 = 0;
  return r;
}

}  // namespace plat::win32
