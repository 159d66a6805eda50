// SPDX-License-Identifier: MIT
// The driver's periodic timer and a silent box's read, through the platform's own OS
// layer: the same program built for Linux (the POSIX layer: a thread on absolute
// deadlines) and for Windows (the Win32 layer: timeSetEvent, run under Wine here), so
// that bench/windows_timer_twin runs both at the same time under the same load.
//
// Timer: ticks against ticks expected, drift per minute (where the last tick stands
// against the fixed schedule), the 99th percentile and the largest deviation of a period
// from 10 ms. Read: COM1 (mapped to a box that never answers) with the driver's line and
// time-outs, one command and one read of one byte per round: how long the read takes to
// give up, against the 30 + 4 ms the time-outs promise.
//
// Usage: driver_timer_twin NAME [seconds, default 10] [reads, default 50]
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/os/os.h"

namespace {

using kelvora::drvos::NativeOs;

constexpr uint32_t kPeriodMs = 10;
std::vector<uint64_t> gTicks;
std::atomic<size_t> gCount{0};

void Tick(uint32_t, uint32_t, uintptr_t, uintptr_t, uintptr_t) {
  const size_t n = gCount.load(std::memory_order_relaxed);
  if (n < gTicks.size()) gTicks[n] = NativeOs().NowUs();
  gCount.store(n + 1, std::memory_order_release);
}

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  const char* name = argc > 1 ? argv[1] : "timer";
  const int seconds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 10);
  const int reads = std::max(1, argc > 3 ? std::atoi(argv[3]) : 50);
  auto& os = NativeOs();

  gTicks.assign(static_cast<size_t>(seconds) * 1000 / kPeriodMs * 2 + 100, 0);
  const uint64_t start = os.NowUs();
  const uint32_t id = os.TimeSetEvent(kPeriodMs, 0, Tick, 0, 1);
  if (id == 0) {
    std::fprintf(stderr, "%s: no timer\n", name);
    return 1;
  }
  os.Sleep(static_cast<uint32_t>(seconds) * 1000);
  os.TimeKillEvent(id);
  const uint64_t end = os.NowUs();
  const size_t ticks = std::min(gCount.load(std::memory_order_acquire), gTicks.size());
  std::vector<double> deviation;
  for (size_t i = 1; i < ticks; ++i)
    deviation.push_back(
        std::abs(static_cast<double>(gTicks[i] - gTicks[i - 1]) / 1000.0 - kPeriodMs));
  const double expected = static_cast<double>(end - start) / 1000.0 / kPeriodMs;
  // The last tick against the first plus its number of periods, scaled to a minute.
  const double lateMs = ticks > 1 ? static_cast<double>(gTicks[ticks - 1] - gTicks[0]) / 1000.0 -
                                        static_cast<double>(ticks - 1) * kPeriodMs
                                  : 0;
  const double minutes = static_cast<double>(end - start) / 60e6;
  std::printf(
      "%-14s timer: ticks %zu of %.0f expected, drift %+.2f ms/min, p99 %.2f ms, "
      "max %.2f ms\n",
      name, ticks, expected, lateMs / minutes, Percentile(deviation, 0.99),
      deviation.empty() ? 0 : *std::max_element(deviation.begin(), deviation.end()));

  const kelvora::drvos::Handle port = os.OpenDevice("COM1");
  if (port == kelvora::drvos::kNoHandle) {
    std::printf("%-14s read: COM1 does not open\n", name);
    return 0;
  }
  os.SetCommLine(port, kelvora::drvos::SerialLine{9600, 8, 0, 0});
  os.SetCommTimeouts(port, kelvora::drvos::SerialTimeouts{5, 4, 30, 1, 10});
  std::vector<double> took;
  for (int i = 0; i < reads; ++i) {
    const uint8_t command[2] = {0xC1, 0x00};
    uint8_t reply[1];
    os.PurgeInput(port);
    os.WriteFile(port, command, 2);
    const uint64_t before = os.NowUs();
    const int32_t got = os.ReadFile(port, reply, 1);
    took.push_back(static_cast<double>(os.NowUs() - before) / 1000.0);
    if (got != 0) {
      std::printf("%-14s read: the box answered (%d); it must be silent\n", name, got);
      break;
    }
  }
  os.CloseHandle(port);
  std::printf(
      "%-14s read of a silent box: median %.2f ms, p99 %.2f ms, max %.2f ms "
      "(time-outs: 34 ms) over %zu reads\n",
      name, Percentile(took, 0.5), Percentile(took, 0.99),
      *std::max_element(took.begin(), took.end()), took.size());
  return 0;
}
