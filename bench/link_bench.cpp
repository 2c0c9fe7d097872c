// Timing of the encoder link and cost of the periodic update, measured on the
// real Controller.plug loaded the way a host loads it, talking to the
// simulated box over a real pseudo-terminal paced at 9600 baud.
//
//   query/status_on, query/status_off  one full query (operation 21) as a
//                                      ratio to the wire time of its bytes
//   silent_box/Q, silent_box/Q+P       what a box that never answers costs
//   stops_after_5_bytes                how long after the fifth byte the
//                                      query gives up
//   update_not_due                     operation 8 inside the 1000 ms limit:
//                                      time, heap allocations, system calls
//   update_due                         operation 8 with a report: heap
//                                      allocations
//   allocations/selector:N/command:C   heap allocations of the plug-in's own
//                                      code in one DoOperation call, for
//                                      every selector (and every command of
//                                      operation 15), connected, status on
//
// Heap allocations are counted by this executable's own malloc family, which
// the plug-in's calls resolve to (the executable exports its symbols), on
// the measuring thread only.  System calls are counted in a forked child
// under a seccomp filter that traps every system call (SECCOMP_RET_TRAP) into
// a SIGSYS handler that counts them; the tick count reads the clock through
// the vDSO, which is no system call at all.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <link.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "dsc_sim.h"
#include "link/link.h"
#include "plugin_loader.h"
#include "temp_config.h"
#include "test_blocks.h"
#include "window_system_model.h"

// ---- Counting allocator -------------------------------------------------------

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace {
__attribute__((tls_model("initial-exec"))) thread_local bool t_counting = false;
std::atomic<std::uint64_t> g_allocations{0};
std::atomic<std::uint64_t> g_plugin_allocations{0};  // called from the plug-in's own code
std::uintptr_t g_plugin_low = 0, g_plugin_high = 0;  // its loaded segments
inline void Count(void* caller) {
  if (!t_counting) return;
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  const auto at = reinterpret_cast<std::uintptr_t>(caller);
  if (at >= g_plugin_low && at < g_plugin_high) {
    g_plugin_allocations.fetch_add(1, std::memory_order_relaxed);
  }
}
}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  Count(__builtin_return_address(0));
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  Count(__builtin_return_address(0));
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  Count(__builtin_return_address(0));
  return __libc_realloc(pointer, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
  Count(__builtin_return_address(0));
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  Count(__builtin_return_address(0));
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  Count(__builtin_return_address(0));
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}
void free(void* pointer) { __libc_free(pointer); }
}

namespace {

struct AllocationScope {
  AllocationScope() {
    start = g_allocations.load();
    plugin_start = g_plugin_allocations.load();
    t_counting = true;
  }
  ~AllocationScope() { t_counting = false; }
  std::uint64_t Count() const { return g_allocations.load() - start; }
  std::uint64_t PluginCount() const { return g_plugin_allocations.load() - plugin_start; }
  std::uint64_t start;
  std::uint64_t plugin_start;
};

// ---- The host, the plug-in and the box ------------------------------------------

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct Rig {
  testsupport::TempConfigDir config;
  testhost::Plugin plugin;
  dscsim::Box box;
  bool ok = false;

  Rig() {
    std::string error;
    ok = plugin.Loaded() && box.Start(&error);
    if (!ok) {
      std::fprintf(stderr, "link_bench: %s %s\n", plugin.Error().c_str(), error.c_str());
      return;
    }
    config.LinkPort("COM1", box.SlavePath());
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
          if (info->dlpi_name == nullptr ||
              std::strstr(info->dlpi_name, "Controller.plug") == nullptr) {
            return 0;
          }
          for (int i = 0; i < info->dlpi_phnum; ++i) {
            const ElfW(Phdr)& ph = info->dlpi_phdr[i];
            if (ph.p_type != PT_LOAD) continue;
            const std::uintptr_t low = info->dlpi_addr + ph.p_vaddr;
            const std::uintptr_t high = low + ph.p_memsz;
            if (g_plugin_low == 0 || low < g_plugin_low) g_plugin_low = low;
            if (high > g_plugin_high) g_plugin_high = high;
          }
          return 1;
        },
        nullptr);
  }

  // Loads the settings through registration and connects anew.
  void Connect(bool status_query) {
    wsm::Reset();
    config.WriteProfile(std::string("[ZazuvUzarDLL]\nResRA=4096\nResDec=4096\nCommPort=COM1\n"
                                    "MountType=EQ\nPCode=") +
                        (status_query ? "ON" : "OFF") + "\n");
    std::vector<std::uint8_t> record(801, 0);
    testhost::PutI32(record, 0, 3);
    plugin.Call(0, record);
    plugin.Call(27, 0);
    plugin.Call(26, 0);
  }
  void SetReporting(bool on) {
    std::vector<std::uint8_t> block(8, 0);
    testhost::PutI32(block, 0, 8205);
    plugin.Call(22, block);
    if ((block[5] == 1) != on) plugin.Call(28, 0);
  }
  // One full query through operation 21.
  bool Query(std::vector<std::uint8_t>& record) {
    record.assign(400, 0xCC);
    plugin.Call(21, record);
    return record[62] == 9;
  }
};

Rig& TheRig() {
  static Rig rig;
  return rig;
}

// Figures for the summary printed at the end.
struct Summary {
  double ratio_status_on = 0, ratio_status_off = 0;
  double silent_q_ms = 0, silent_qp_ms = 0;
  double after_fifth_ms = 0;
  double not_due_ns = 0;
  std::uint64_t not_due_calls = 0, not_due_allocations = 0;
  std::uint64_t due_calls = 0, due_allocations = 0, due_plugin_allocations = 0;
  std::uint64_t shown_calls = 0, shown_allocations = 0, shown_plugin_allocations = 0;
  bool shown_drawn = false;
  std::uint64_t control_allocations = 0;
  long syscall_calls = -1, syscalls_other = -1, syscalls_clock = -1, control_traps = -1;
} g_summary;

// ---- Full queries against the paced box ------------------------------------------

void QueryRatio(benchmark::State& state, bool status_query) {
  Rig& rig = TheRig();
  if (!rig.ok) {
    state.SkipWithError("no rig");
    return;
  }
  rig.box.ClearFaults();
  rig.box.SetPacing(true);
  rig.box.SetCounts(1234, -567);
  rig.Connect(status_query);
  const double bytes = status_query ? 20.0 : 15.0;  // "Q", 14, "P", 4
  const double wire = bytes * std::chrono::duration<double>(rig.box.ByteTime()).count();
  std::vector<std::uint8_t> record;
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool filled = rig.Query(record);
    const double took = Seconds(std::chrono::steady_clock::now() - start);
    if (!filled) state.SkipWithError("query failed");
    state.SetIterationTime(took);
    total += took;
  }
  const double ratio = total / static_cast<double>(state.iterations()) / wire;
  state.counters["wire_ms"] = wire * 1e3;
  state.counters["ratio"] = ratio;
  (status_query ? g_summary.ratio_status_on : g_summary.ratio_status_off) = ratio;
}

void BM_QueryStatusOn(benchmark::State& state) { QueryRatio(state, true); }
void BM_QueryStatusOff(benchmark::State& state) { QueryRatio(state, false); }

// ---- A silent box ------------------------------------------------------------------

void SilentBox(benchmark::State& state, bool status_query) {
  Rig& rig = TheRig();
  if (!rig.ok) {
    state.SkipWithError("no rig");
    return;
  }
  rig.box.ClearFaults();
  rig.Connect(status_query);
  rig.box.SetSilent(true);
  std::vector<std::uint8_t> record;
  double total = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    rig.Query(record);
    const double took = Seconds(std::chrono::steady_clock::now() - start);
    state.SetIterationTime(took);
    total += took;
  }
  rig.box.ClearFaults();
  const double ms = total / static_cast<double>(state.iterations()) * 1e3;
  state.counters["query_ms"] = ms;
  (status_query ? g_summary.silent_qp_ms : g_summary.silent_q_ms) = ms;
}

void BM_SilentBoxQ(benchmark::State& state) { SilentBox(state, false); }
void BM_SilentBoxQP(benchmark::State& state) { SilentBox(state, true); }

// ---- A box that stops after five bytes -------------------------------------------------

void BM_StopsAfterFiveBytes(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.ok) {
    state.SkipWithError("no rig");
    return;
  }
  rig.box.ClearFaults();
  rig.Connect(false);
  rig.box.SetShortAnswer(5);
  std::vector<std::uint8_t> record;
  double after_fifth = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    rig.Query(record);
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(Seconds(end - start));
    after_fifth += Seconds(end - rig.box.GetStats().last_answer_end);
  }
  rig.box.ClearFaults();
  const double ms = after_fifth / static_cast<double>(state.iterations()) * 1e3;
  state.counters["after_5th_ms"] = ms;
  g_summary.after_fifth_ms = ms;
}

// ---- Operation 8 ----------------------------------------------------------------------

// Counters shared with the forked child.
struct SyscallCounts {
  volatile long total;
  volatile long clock;
  volatile long last;
};
SyscallCounts* g_syscalls = nullptr;

void OnSigsys(int, siginfo_t* info, void* context) {
  g_syscalls->total = g_syscalls->total + 1;
  g_syscalls->last = info->si_syscall;
  if (info->si_syscall == SYS_clock_gettime || info->si_syscall == SYS_gettimeofday) {
    g_syscalls->clock = g_syscalls->clock + 1;
  }
#if defined(__x86_64__)
  static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RAX] = -ENOSYS;
#else
  (void)context;
#endif
}

// Every system call but the ones that end the process or return from the
// handler traps.
bool TrapAllSystemCalls() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_rt_sigreturn, 3, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit_group, 2, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return false;
  return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// In a forked child: `calls` operations 8 that are not due, under the trap.
void CountSystemCalls(Rig& rig, long calls) {
  void* shared = mmap(nullptr, sizeof(SyscallCounts) * 2, PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return;
  auto* counts = static_cast<SyscallCounts*>(shared);
  counts[0] = {-1, -1, -1};
  counts[1] = {-1, -1, -1};
  std::vector<std::uint8_t> block(16, 0);
  const pid_t child = fork();
  if (child == 0) {
    g_syscalls = &counts[0];
    struct sigaction action {};
    action.sa_sigaction = OnSigsys;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSYS, &action, nullptr);
    counts[0] = {0, 0, 0};
    if (!TrapAllSystemCalls()) _exit(2);
    for (long i = 0; i < calls; ++i)
      rig.plugin.Call(8, reinterpret_cast<std::uintptr_t>(block.data()));
    const bool none_due = testhost::GetI32(block, 4) == 5;
    // The control: a system call made on purpose is counted.
    g_syscalls = &counts[1];
    counts[1] = {0, 0, 0};
    syscall(SYS_getppid);
    _exit(none_due ? 0 : 3);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
    g_summary.syscall_calls = calls;
    g_summary.syscalls_clock = counts[0].clock;
    g_summary.syscalls_other = counts[0].total - counts[0].clock;
    g_summary.control_traps = counts[1].total;
  } else {
    std::fprintf(stderr, "link_bench: system call count failed (status %d)\n", status);
  }
  munmap(shared, sizeof(SyscallCounts) * 2);
}

void BM_UpdateNotDue(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.ok) {
    state.SkipWithError("no rig");
    return;
  }
  rig.box.ClearFaults();
  rig.Connect(true);
  rig.SetReporting(true);
  std::vector<std::uint8_t> block(16, 0);
  rig.plugin.Call(8, block);  // the report that makes the next ones early
  if (testhost::GetI32(block, 4) != 3) state.SkipWithError("first report missing");
  const auto due_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(900);

  CountSystemCalls(rig, 10000);

  const auto data = reinterpret_cast<std::uintptr_t>(block.data());
  std::uint64_t calls = 0;
  std::uint64_t allocations = 0;
  {
    AllocationScope scope;
    for (auto _ : state) {
      rig.plugin.Call(8, data);
      ++calls;
      if ((calls & 0xFFF) == 0 && std::chrono::steady_clock::now() > due_at) break;
    }
    allocations = scope.Count();
  }
  if (testhost::GetI32(block, 4) != 5) state.SkipWithError("a report came due");
  state.counters["allocations"] = static_cast<double>(allocations);
  state.counters["syscalls"] = static_cast<double>(g_summary.syscalls_other);
  g_summary.not_due_calls = calls;
  g_summary.not_due_allocations = allocations;
}

// Reports that are due, with the debug window hidden or shown (the page is
// then drawn through the host's window system, whose recording allocates on
// the host's side: the plug-in's own allocations are told apart by the
// caller's address).
void UpdateDue(benchmark::State& state, bool debug_window) {
  Rig& rig = TheRig();
  if (!rig.ok) {
    state.SkipWithError("no rig");
    return;
  }
  rig.box.ClearFaults();
  rig.box.SetPacing(false);  // the report's cost, not the line's
  rig.Connect(true);
  constexpr std::uintptr_t kWindow = 0x7700;
  rig.plugin.Call(2, kWindow);
  if (debug_window) wsm::TheBehaviour().visible_windows.insert(kWindow);
  rig.SetReporting(false);
  std::vector<std::uint8_t> block(16, 0);
  std::uint64_t allocations = 0, plugin_allocations = 0, reports = 0;
  for (auto _ : state) {
    // Turning reporting off and on does not move the last report tick: wait
    // out the limit by the clock instead.
    state.PauseTiming();
    rig.SetReporting(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(1002));
    state.ResumeTiming();
    {
      AllocationScope scope;
      rig.plugin.Call(8, block);
      allocations += scope.Count();
      plugin_allocations += scope.PluginCount();
    }
    reports += testhost::GetI32(block, 4) == 3 ? 1 : 0;
  }
  const bool drawn = !wsm::TextsDrawn().empty();
  rig.box.SetPacing(true);
  wsm::TheBehaviour().visible_windows.clear();
  state.counters["allocations"] = static_cast<double>(allocations);
  state.counters["plugin_allocations"] = static_cast<double>(plugin_allocations);
  state.counters["reports"] = static_cast<double>(reports);
  if (debug_window) {
    g_summary.shown_calls = reports;
    g_summary.shown_allocations = allocations;
    g_summary.shown_plugin_allocations = plugin_allocations;
    g_summary.shown_drawn = drawn;
  } else {
    g_summary.due_calls = reports;
    g_summary.due_allocations = allocations;
    g_summary.due_plugin_allocations = plugin_allocations;
  }
}

void BM_UpdateDue(benchmark::State& state) { UpdateDue(state, false); }
void BM_UpdateDueDebugWindow(benchmark::State& state) { UpdateDue(state, true); }

// One DoOperation call of each selector with a block it accepts, connected,
// the debug window shown; what the plug-in's own code allocates.
constexpr int kSelectors = 40;
// The most any call but the first made, and what the first made.
std::uint64_t g_selector_allocations[kSelectors + 5] = {};  // 40..44: commands 20000..20004
std::uint64_t g_selector_first_allocations[kSelectors + 5] = {};
bool g_selector_measured[kSelectors + 5] = {};

void BM_Allocations(benchmark::State& state) {
  Rig& rig = TheRig();
  if (!rig.ok) {
    state.SkipWithError("no rig");
    return;
  }
  const auto selector = static_cast<std::uint32_t>(state.range(0));
  const auto command = static_cast<std::int32_t>(state.range(1));
  rig.box.ClearFaults();
  rig.box.SetPacing(false);
  constexpr std::uintptr_t kWindow = 0x7700;
  std::uint64_t first = 0, most = 0, calls = 0;
  for (auto _ : state) {
    state.PauseTiming();
    rig.Connect(true);
    rig.plugin.Call(2, kWindow);
    wsm::TheBehaviour().visible_windows.insert(kWindow);
    std::vector<std::uint8_t> block(2048, 0);
    std::uintptr_t parameter = reinterpret_cast<std::uintptr_t>(block.data());
    switch (selector) {
      case 0:
        testhost::PutI32(block, 0, 4);  // interface version: loads the settings
        break;
      case 2:
      case 38:
        parameter = kWindow;
        break;
      case 15: {
        auto add = testsupport::ObjectMenuBlock(20002, "Vega", 4.87, 0.67);
        if (command != 20002) rig.plugin.Call(15, add);
        const auto object = testsupport::ObjectMenuBlock(command, "Vega", 4.87, 0.67);
        std::copy(object.begin(), object.end(), block.begin());
        break;
      }
      case 22:
        testhost::PutI32(block, 0, 8204);
        break;
      default:
        break;
    }
    state.ResumeTiming();
    std::uint64_t made = 0;
    {
      AllocationScope scope;
      rig.plugin.Call(selector, parameter);
      made = scope.PluginCount();
    }
    if (calls++ == 0) {
      first = made;
    } else if (made > most) {
      most = made;
    }
  }
  rig.plugin.Call(27, 0);
  rig.box.SetPacing(true);
  wsm::TheBehaviour().visible_windows.clear();
  state.counters["plugin_allocations_first_call"] = static_cast<double>(first);
  state.counters["plugin_allocations_later_calls"] = static_cast<double>(most);
  const int slot = selector == 15 && command >= 20000 ? kSelectors + (command - 20000)
                                                      : static_cast<int>(selector);
  g_selector_allocations[slot] = most;
  g_selector_first_allocations[slot] = first;
  g_selector_measured[slot] = true;
}

void SelectorArguments(benchmark::internal::Benchmark* b) {
  for (int selector = 0; selector < kSelectors; ++selector) {
    if (selector == 15) {
      for (int command = 20000; command <= 20004; ++command) b->Args({15, command});
    } else {
      b->Args({selector, 0});
    }
  }
}

}  // namespace

BENCHMARK(BM_QueryStatusOn)
    ->Name("query/status_on")
    ->Iterations(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryStatusOff)
    ->Name("query/status_off")
    ->Iterations(30)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SilentBoxQ)
    ->Name("silent_box/Q")
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SilentBoxQP)
    ->Name("silent_box/Q+P")
    ->Iterations(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StopsAfterFiveBytes)
    ->Name("stops_after_5_bytes")
    ->Iterations(10)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateNotDue)->Name("update_not_due")->Iterations(200000);
BENCHMARK(BM_UpdateDue)->Name("update_due")->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateDueDebugWindow)
    ->Name("update_due/debug_window")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Allocations)
    ->Name("allocations")
    ->ArgNames({"selector", "command"})
    ->Apply(SelectorArguments)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

// The counter's own check: one allocation made on purpose is counted once.
std::uint64_t ControlAllocations() {
  AllocationScope scope;
  void* p = ::operator new(32);
  benchmark::DoNotOptimize(p);
  const std::uint64_t n = scope.Count();
  ::operator delete(p);
  return n;
}

int main(int argc, char** argv) {
  g_summary.control_allocations = ControlAllocations();
  // The plug-in binds malloc through the global scope, where this
  // executable's definition comes first.
  const bool ours = dlsym(RTLD_DEFAULT, "malloc") == reinterpret_cast<void*>(&malloc);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  const Summary& s = g_summary;
  std::printf("\nSummary\n");
  std::printf("  full query, status on (20 bytes on the wire):  %.3f x wire time (goal <= 1.10)\n",
              s.ratio_status_on);
  std::printf("  full query, status off (15 bytes on the wire): %.3f x wire time\n",
              s.ratio_status_off);
  std::printf("  silent box, \"Q\" alone:                         %.1f ms (bound %u ms)\n",
              s.silent_q_ms, ctl::ReadBound(14));
  std::printf("  silent box, \"P\" after it:                      %.1f ms (bound %u ms)\n",
              s.silent_qp_ms - s.silent_q_ms, ctl::ReadBound(4));
  std::printf("  box stops after 5 bytes: query returns          %.1f ms after the 5th (%u ms)\n",
              s.after_fifth_ms, ctl::kLinkTimeouts.read_interval);
  std::printf("  operation 8 not due: %llu calls, %llu heap allocations\n",
              static_cast<unsigned long long>(s.not_due_calls),
              static_cast<unsigned long long>(s.not_due_allocations));
  std::printf(
      "  operation 8 not due: %ld calls under a trap-all seccomp filter: %ld system calls"
      " besides the clock, %ld for the clock (vDSO: 0); control getppid trapped %ld\n",
      s.syscall_calls, s.syscalls_other, s.syscalls_clock, s.control_traps);
  std::printf(
      "  operation 8 due (equatorial report): %llu reports, %llu heap allocations"
      " (%llu from the plug-in)\n",
      static_cast<unsigned long long>(s.due_calls),
      static_cast<unsigned long long>(s.due_allocations),
      static_cast<unsigned long long>(s.due_plugin_allocations));
  std::printf(
      "  operation 8 due, debug window shown (page %s): %llu reports, %llu heap allocations"
      " in all, %llu from the plug-in\n",
      s.shown_drawn ? "drawn" : "NOT drawn", static_cast<unsigned long long>(s.shown_calls),
      static_cast<unsigned long long>(s.shown_allocations),
      static_cast<unsigned long long>(s.shown_plugin_allocations));
  for (const auto* table : {g_selector_first_allocations, g_selector_allocations}) {
    std::printf("  heap allocations of the plug-in in one DoOperation call, %s (goal 0):",
                table == g_selector_allocations ? "every later call" : "first call of the kind");
    int measured = 0, nonzero = 0;
    for (int slot = 0; slot < kSelectors + 5; ++slot) {
      if (!g_selector_measured[slot]) continue;
      ++measured;
      if (table[slot] == 0) continue;
      ++nonzero;
      if (slot < kSelectors) {
        std::printf(" [operation %d: %llu]", slot, static_cast<unsigned long long>(table[slot]));
      } else {
        std::printf(" [operation 15, command %d: %llu]", 20000 + slot - kSelectors,
                    static_cast<unsigned long long>(table[slot]));
      }
    }
    std::printf(nonzero > 0 ? " every other of the %d cases: 0\n" : " all %d cases: 0\n", measured);
  }
  std::printf("  plug-in code told apart by the caller's address: %zu KiB of loaded segments\n",
              static_cast<std::size_t>((g_plugin_high - g_plugin_low) / 1024));
  std::printf(
      "  allocation counter check: one operator new counted %llu; malloc in global scope is"
      " this executable's: %s\n",
      static_cast<unsigned long long>(s.control_allocations), ours ? "yes" : "no");
  return 0;
}
