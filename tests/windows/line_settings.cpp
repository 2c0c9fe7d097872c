// line_settings.exe: prints what the Windows layer reads from each line
// definition given on its command line, one line each, so that the Wine
// tests can check BuildCommDCB's reading against the Linux layer's.
#include <cstdio>

#include "platform/platform.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    plat::LineSettings s;
    if (!plat::SerialBuildLineSettings(argv[i], s)) {
      std::printf("refused\n");
      continue;
    }
    std::printf("%u %u%c%u xon=%d/%d cts=%d dsr=%d dtr=%d rts=%d\n", static_cast<unsigned>(s.baud),
                static_cast<unsigned>(s.data_bits), s.parity, static_cast<unsigned>(s.stop_bits),
                s.out_x, s.in_x, s.outx_cts_flow, s.outx_dsr_flow, s.dtr_enable, s.rts_enable);
  }
  return 0;
}
