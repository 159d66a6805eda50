// SPDX-License-Identifier: MIT
// The wire trace's ring, its writer thread and the line format.
#include "driver/trace.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "driver/os/helper_thread.h"

namespace kelvora::driver {

std::atomic<int> gTracedPorts{0};

TraceRing::TraceRing(const char* port) {
  std::snprintf(port_, sizeof port_, "%s", port != nullptr ? port : "?");
}

void TraceRing::Push(const TraceEntry& e) {
  const uint32_t head = head_.load(std::memory_order_relaxed);
  if (head - tail_.load(std::memory_order_acquire) >= kSize) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  entries_[head % kSize] = e;
  head_.store(head + 1, std::memory_order_release);
}

bool TraceRing::Pop(TraceEntry* e) {
  const uint32_t tail = tail_.load(std::memory_order_relaxed);
  if (tail == head_.load(std::memory_order_acquire)) return false;
  *e = entries_[tail % kSize];
  tail_.store(tail + 1, std::memory_order_release);
  return true;
}

namespace {

const char* ResultName(TraceResult r) {
  switch (r) {
    case TraceResult::kOk:
      return "ok";
    case TraceResult::kShort:
      return "short";
    case TraceResult::kTimeout:
      return "timeout";
    case TraceResult::kGone:
      return "gone";
    case TraceResult::kBack:
      return "back";
  }
  return "?";
}

// Appends bytes as hex, or "-" for none.
char* Hex(char* p, const uint8_t* bytes, uint8_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  if (n == 0) {
    *p++ = '-';
    return p;
  }
  for (uint8_t i = 0; i < n; ++i) {
    *p++ = kDigits[bytes[i] >> 4];
    *p++ = kDigits[bytes[i] & 15];
  }
  return p;
}

// The writer: rings and output are shared with the thread under `mutex`; opening and
// closing ports, and starting and stopping the thread, are serialised by `lifecycle`.
struct Sink {
  std::mutex lifecycle;
  std::mutex mutex;
  std::condition_variable wake;
  std::vector<TraceRing*> rings;
  std::FILE* out = nullptr;
  bool ownsOut = false;
  bool stop = false;
  bool running = false;
  uint64_t originUs = 0;
  std::thread thread;
};

// Never destroyed: the clean-up at unload may still stop the thread after static
// destructors ran.
Sink& TheSink() {
  static Sink* const sink = new Sink();
  return *sink;
}

// Called with sink.mutex held.
void DrainLocked(Sink& sink, TraceRing* ring) {
  char line[256];
  TraceEntry e;
  while (ring->Pop(&e)) {
    const size_t n = FormatTraceLine(ring->Port(), e, sink.originUs, line, sizeof line - 1);
    line[n] = '\n';
    std::fwrite(line, 1, n + 1, sink.out);
  }
  if (const uint32_t dropped = ring->TakeDropped(); dropped != 0) {
    std::fprintf(sink.out, "port=%s dropped=%u\n", ring->Port(), dropped);
  }
}

void Writer(Sink* sink) {
  drvos::TuneTraceWriter();
  std::unique_lock lock(sink->mutex);
  for (;;) {
    sink->wake.wait_for(lock, std::chrono::milliseconds(50), [sink] { return sink->stop; });
    for (TraceRing* ring : sink->rings) DrainLocked(*sink, ring);
    std::fflush(sink->out);
    if (sink->stop) return;
  }
}

// Called with sink.lifecycle held.
void StopLocked(Sink& sink) {
  if (!sink.running) return;
  {
    std::lock_guard lock(sink.mutex);
    sink.stop = true;
  }
  sink.wake.notify_all();
  if (drvos::ProcessEnding()) {
    sink.thread.detach();  // ended with the process already
  } else {
    sink.thread.join();
  }
  if (sink.ownsOut) std::fclose(sink.out);
  sink.out = nullptr;
  sink.running = false;
  drvos::HoldLibrary(false);
}

}  // namespace

size_t FormatTraceLine(const char* port, const TraceEntry& e, uint64_t originUs, char* out,
                       size_t size) {
  char out_hex[8], in_hex[10];
  *Hex(out_hex, e.out, std::min<uint8_t>(e.outLen, 3)) = '\0';
  *Hex(in_hex, e.in, std::min<uint8_t>(e.inLen, 4)) = '\0';
  const uint64_t t = e.atUs >= originUs ? e.atUs - originUs : 0;
  const int n = std::snprintf(
      out, size,
      "t=%llu.%06llu port=%s out=%s in=%s want=%u took_ms=%u.%03u timeouts=%u reopens=%u "
      "result=%s",
      static_cast<unsigned long long>(t / 1000000), static_cast<unsigned long long>(t % 1000000),
      port, out_hex, in_hex, e.want, e.tookUs / 1000, e.tookUs % 1000, e.timeouts, e.reopens,
      ResultName(e.result));
  if (n < 0) return 0;
  return std::min(static_cast<size_t>(n), size > 0 ? size - 1 : 0);
}

TraceRing* TraceBegin(const char* port, uint64_t nowUs) {
  const char* target = std::getenv("ZQBREL_TRACE");
  if (target == nullptr || *target == '\0') return nullptr;
  Sink& sink = TheSink();
  std::lock_guard life(sink.lifecycle);
  if (!sink.running) {
    const bool toStderr = std::strcmp(target, "-") == 0;
    std::FILE* out = toStderr ? stderr : drvos::OpenTraceFile(target);
    if (out == nullptr) return nullptr;  // no trace rather than no port
    sink.out = out;
    sink.ownsOut = !toStderr;
    sink.stop = false;
    sink.originUs = nowUs;
    drvos::HoldLibrary(true);
    try {
      sink.thread = std::thread(Writer, &sink);
    } catch (...) {
      drvos::HoldLibrary(false);
      if (sink.ownsOut) std::fclose(out);
      sink.out = nullptr;
      return nullptr;
    }
    sink.running = true;
  }
  auto* ring = new (std::nothrow) TraceRing(port);
  if (ring == nullptr) return nullptr;
  {
    std::lock_guard lock(sink.mutex);
    sink.rings.push_back(ring);
  }
  gTracedPorts.fetch_add(1, std::memory_order_relaxed);
  return ring;
}

void TraceEnd(TraceRing* ring) {
  if (ring == nullptr) return;
  Sink& sink = TheSink();
  std::lock_guard life(sink.lifecycle);
  bool last = false;
  {
    std::lock_guard lock(sink.mutex);
    auto it = std::find(sink.rings.begin(), sink.rings.end(), ring);
    if (it != sink.rings.end()) {
      if (sink.running) {
        DrainLocked(sink, ring);
        std::fflush(sink.out);
      }
      sink.rings.erase(it);
    }
    last = sink.rings.empty();
  }
  gTracedPorts.fetch_sub(1, std::memory_order_relaxed);
  delete ring;
  if (last) StopLocked(sink);
}

bool TraceRequested() {
  const char* target = std::getenv("ZQBREL_TRACE");
  return target != nullptr && *target != '\0';
}

void TraceFailedOpen(const char* port, const char* device, const char* error) {
  if (!TraceRequested()) return;
  const char* target = std::getenv("ZQBREL_TRACE");
  char line[512];
  const int n = std::snprintf(line, sizeof line, "port=%s device=%s open=failed error=%s\n",
                              port != nullptr ? port : "-",
                              device != nullptr && *device != '\0' ? device : "-", error);
  if (n <= 0) return;
  const size_t size = std::min(static_cast<size_t>(n), sizeof line - 1);
  Sink& sink = TheSink();
  std::lock_guard life(sink.lifecycle);
  if (sink.running) {
    // After the lines the writer still holds for open ports, in one piece.
    std::lock_guard lock(sink.mutex);
    for (TraceRing* ring : sink.rings) DrainLocked(sink, ring);
    std::fwrite(line, 1, size, sink.out);
    std::fflush(sink.out);
    return;
  }
  const bool toStderr = std::strcmp(target, "-") == 0;
  std::FILE* out = toStderr ? stderr : drvos::OpenTraceFile(target);
  if (out == nullptr) return;
  std::fwrite(line, 1, size, out);
  if (toStderr) {
    std::fflush(out);
  } else {
    std::fclose(out);
  }
}

void TraceShutdown() {
  Sink& sink = TheSink();
  std::lock_guard life(sink.lifecycle);
  if (sink.running) {
    std::lock_guard lock(sink.mutex);
    for (TraceRing* ring : sink.rings) DrainLocked(sink, ring);
  }
  StopLocked(sink);
}

}  // namespace kelvora::driver
