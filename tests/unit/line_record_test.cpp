// The device-control record the Windows layer hands to SetCommState, built
// here on a record with the DCB's fields.  Whatever another program left in
// the port's record, every field the driver receives is the line's or
// Windows' usual value.
#include "platform/win32/line_record.h"

#include <gtest/gtest.h>

namespace {

// The fields of the Win32 DCB, in its order and widths.
struct Dcb {
  std::uint32_t DCBlength;
  std::uint32_t BaudRate;
  std::uint32_t fBinary : 1;
  std::uint32_t fParity : 1;
  std::uint32_t fOutxCtsFlow : 1;
  std::uint32_t fOutxDsrFlow : 1;
  std::uint32_t fDtrControl : 2;
  std::uint32_t fDsrSensitivity : 1;
  std::uint32_t fTXContinueOnXoff : 1;
  std::uint32_t fOutX : 1;
  std::uint32_t fInX : 1;
  std::uint32_t fErrorChar : 1;
  std::uint32_t fNull : 1;
  std::uint32_t fRtsControl : 2;
  std::uint32_t fAbortOnError : 1;
  std::uint32_t fDummy2 : 17;
  std::uint16_t wReserved;
  std::uint16_t XonLim;
  std::uint16_t XoffLim;
  std::uint8_t ByteSize;
  std::uint8_t Parity;
  std::uint8_t StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  std::uint16_t wReserved1;
};
static_assert(sizeof(Dcb) == 28);

// The line as the link asks for it: "baud=9600 parity=N data=8 stop=1" with
// XON/XOFF both ways, no hardware handshake, DTR and RTS raised.
plat::LineSettings LinkLine() {
  plat::LineSettings line;
  line.baud = 9600;
  line.out_x = line.in_x = true;
  line.dtr_enable = line.rts_enable = true;
  return line;
}

TEST(LineRecord, EveryFieldIsTheLinesOrWindowsUsualValue) {
  // Nothing comes from the port's own record, whatever it holds.
  const Dcb r = plat::win32::LineRecord<Dcb>(LinkLine());

  EXPECT_EQ(r.DCBlength, 28u);
  EXPECT_EQ(r.BaudRate, 9600u);
  EXPECT_EQ(r.fBinary, 1u);
  EXPECT_EQ(r.fParity, 0u);
  EXPECT_EQ(r.fOutxCtsFlow, 0u);
  EXPECT_EQ(r.fOutxDsrFlow, 0u);
  EXPECT_EQ(r.fDtrControl, 1u);  // DTR_CONTROL_ENABLE
  EXPECT_EQ(r.fDsrSensitivity, 0u);
  EXPECT_EQ(r.fTXContinueOnXoff, 1u);
  EXPECT_EQ(r.fOutX, 1u);
  EXPECT_EQ(r.fInX, 1u);
  EXPECT_EQ(r.fErrorChar, 0u);
  EXPECT_EQ(r.fNull, 0u);
  EXPECT_EQ(r.fRtsControl, 1u);  // RTS_CONTROL_ENABLE
  EXPECT_EQ(r.fAbortOnError, 0u);
  EXPECT_EQ(r.fDummy2, 0u);
  EXPECT_EQ(r.wReserved, 0u);
  EXPECT_EQ(r.XonLim, 2048u);
  EXPECT_EQ(r.XoffLim, 512u);
  EXPECT_LE(r.XonLim + r.XoffLim, plat::win32::kQueueBytes);
  EXPECT_EQ(r.ByteSize, 8u);
  EXPECT_EQ(r.Parity, 0u);    // NOPARITY
  EXPECT_EQ(r.StopBits, 0u);  // ONESTOPBIT
  EXPECT_EQ(r.XonChar, 17);
  EXPECT_EQ(r.XoffChar, 19);
  EXPECT_EQ(r.ErrorChar, 0);
  EXPECT_EQ(r.EofChar, 0);
  EXPECT_EQ(r.EvtChar, 0);
  EXPECT_EQ(r.wReserved1, 0u);
}

// The opposite of the link's line: each choice takes its Win32 code.
TEST(LineRecord, ParityStopBitsAndHandshakesTakeTheirWin32Codes) {
  plat::LineSettings line = LinkLine();
  line.parity = 'E';
  line.stop_bits = 2;
  line.outx_cts_flow = line.outx_dsr_flow = true;
  line.out_x = line.in_x = line.dtr_enable = line.rts_enable = false;
  const Dcb r = plat::win32::LineRecord<Dcb>(line);
  EXPECT_EQ(r.fParity, 1u);
  EXPECT_EQ(r.Parity, 2u);    // EVENPARITY
  EXPECT_EQ(r.StopBits, 2u);  // TWOSTOPBITS
  EXPECT_EQ(r.fOutxCtsFlow + r.fOutxDsrFlow, 2u);
  EXPECT_EQ(r.fOutX + r.fInX + r.fDtrControl + r.fRtsControl, 0u);  // DTR and RTS disabled
  for (char letter : {'N', 'O', 'E', 'M', 'S'}) {
    EXPECT_EQ(plat::win32::ParityLetter(plat::win32::ParityCode(letter)), letter);
  }
}

}  // namespace
