// platform_probe.exe: what the Windows layer makes of its inputs, printed
// for the Wine tests, one line each.
//   platform_probe line DEFINITION...  the line settings BuildCommDCB reads
//   platform_probe since-load MS       the time since load after MS ms
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/win32/windows_api.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "line") == 0) {
    for (int i = 2; i < argc; ++i) {
      plat::LineSettings s;
      if (!plat::SerialBuildLineSettings(argv[i], s)) {
        std::printf("refused\n");
        continue;
      }
      std::printf("%u %u%c%u xon=%d/%d cts=%d dsr=%d dtr=%d rts=%d\n",
                  static_cast<unsigned>(s.baud), static_cast<unsigned>(s.data_bits), s.parity,
                  static_cast<unsigned>(s.stop_bits), s.out_x, s.in_x, s.outx_cts_flow,
                  s.outx_dsr_flow, s.dtr_enable, s.rts_enable);
    }
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "since-load") == 0) {
    Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    std::printf("%llu\n", static_cast<unsigned long long>(plat::MillisecondsSinceLoad()));
    return 0;
  }
  std::fprintf(stderr, "usage: platform_probe line DEFINITION... | since-load MS\n");
  return 2;
}
