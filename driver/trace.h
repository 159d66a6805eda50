// SPDX-License-Identifier: MIT
// The wire trace: with ZQBREL_TRACE=FILE (or "-" for standard error) in the environment
// when a serial port is opened, every exchange on it becomes one line of text:
//
//   t=12.345678 port=COM1 out=C20112 in=0580 want=2 took_ms=2.113 timeouts=0 reopens=0 result=ok
//
// t: seconds since the trace started; out, in: the bytes written and read, in hex ("-"
// for none); want: reply bytes asked for; took_ms: from the write to the end of the
// read; timeouts: reads on this port so far that ended before the whole reply came;
// reopens: attempts so far to open the port again after its device vanished; result:
// ok, short (part of the reply), timeout (nothing), gone (the device failed) or back
// (it failed and was opened again). A line "dropped=N" says that N exchanges were not
// written down because the writer fell behind.
//
// Every open that fails, serial or parallel, writes one line at once, from the caller's
// thread (no time: no trace may have started yet):
//
//   port=COM1 device=/dev/ttyUSB0 open=failed error=Permission denied
//
// device: the device file the name reached ("-" for none); error: the system's text for
// the error, or "no answer from the box" when the device opened but the box was silent.
//
// The tick only copies a fixed-size entry into a ring of its own (no lock, no
// allocation, no system call); a low-priority thread formats and writes the lines.
// With the variable unset nothing is allocated, no thread runs, and the tick pays one
// predictable branch.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace kelvora::driver {

enum class TraceResult : uint8_t { kOk, kShort, kTimeout, kGone, kBack };

struct TraceEntry {
  uint64_t atUs = 0;    // start of the exchange, on the OS layer's clock
  uint32_t tookUs = 0;  // write start to read end
  uint32_t timeouts = 0;
  uint32_t reopens = 0;
  uint8_t out[3] = {};
  uint8_t outLen = 0;
  uint8_t in[4] = {};
  uint8_t inLen = 0;
  uint8_t want = 0;
  TraceResult result = TraceResult::kOk;
};

// One port's entries on their way from its timer thread (the only producer) to the
// writer thread (the only consumer). A full ring drops the entry and counts it.
class TraceRing {
 public:
  static constexpr uint32_t kSize = 1024;  // about ten seconds at the fastest poll

  explicit TraceRing(const char* port);
  const char* Port() const { return port_; }
  void Push(const TraceEntry& e);
  bool Pop(TraceEntry* e);
  uint32_t TakeDropped() { return dropped_.exchange(0, std::memory_order_relaxed); }

 private:
  char port_[16];
  TraceEntry entries_[kSize];
  std::atomic<uint32_t> head_{0};  // next to write; only the producer stores it
  std::atomic<uint32_t> tail_{0};  // next to read; only the consumer stores it
  std::atomic<uint32_t> dropped_{0};
};

// Non-zero while any port is traced: the tick's one branch.
extern std::atomic<int> gTracedPorts;
inline bool TraceOn() {
  return gTracedPorts.load(std::memory_order_relaxed) != 0;
}

// At open: a ring for the port when ZQBREL_TRACE asks for a trace and its file can be
// opened (the writer thread starts with the first one), else nullptr. nowUs is the
// OS layer's clock; the trace's times count from its first start.
TraceRing* TraceBegin(const char* port, uint64_t nowUs);
// At close, once no tick can run any more: writes what is left and frees the ring; the
// last one stops the writer thread and closes the file.
void TraceEnd(TraceRing* ring);
// At unload: stops the writer thread and closes the file, whatever is still open.
void TraceShutdown();

// Whether ZQBREL_TRACE asks for a trace.
bool TraceRequested();
// The line for a failed open, when ZQBREL_TRACE asks for a trace.
void TraceFailedOpen(const char* port, const char* device, const char* error);

// One entry as its line, without the newline; for the writer and for tests.
size_t FormatTraceLine(const char* port, const TraceEntry& e, uint64_t originUs, char* out,
                       size_t size);

}  // namespace kelvora::driver
