// SPDX-License-Identifier: MIT
// The serial box: opening the port, the six command/reply exchanges, and what keeps a
// real line usable: stale bytes are thrown away before every command, and a device
// that vanishes (an adapter pulled) is opened again once it is back.
#include <algorithm>
#include <atomic>
#include <cerrno>

#include "driver/connections.h"
#include "driver/os/os.h"
#include "driver/trace.h"

namespace kelvora::driver {
namespace {

constexpr drvos::SerialLine kLine{9600, 8, 0, 0};  // 8N1
// Read: 30 ms + 4 ms per byte in all, or 5 ms of quiet once a byte has come.
// Write: 10 ms + 1 ms per byte.
constexpr drvos::SerialTimeouts kTimeouts{5, 4, 30, 1, 10};
// A vanished device is looked for again no more often than this.
constexpr uint64_t kReopenEveryUs = 1000000;

// What the library keeps of an open serial port beyond the record: whether its device
// is gone, and what the trace counts. Found by handle, which the saved copy of a
// record shares with the original. Written at open and close by the caller's thread
// and in between only by the port's timer thread; only `handle` is looked at from
// other threads.
struct SerialPort {
  std::atomic<uint32_t> handle{0};  // 0: slot free
  bool polling = false;             // opened: a failing device is looked for again
  bool gone = false;
  bool unsettled = false;  // the last reply failed: the rest may still be coming
  uint64_t lastAttemptUs = 0;
  uint32_t timeouts = 0;
  uint32_t reopens = 0;
  TraceRing* ring = nullptr;
};

// Fixed, so that nothing is allocated for a port. A port opened when all are taken
// works as before, without being reopened or traced.
constexpr size_t kMaxPorts = 32;
SerialPort gPorts[kMaxPorts];

SerialPort* FindPort(drvos::Handle h) {
  for (SerialPort& p : gPorts) {
    if (p.handle.load(std::memory_order_acquire) == h) return &p;
  }
  return nullptr;
}

SerialPort* AcquirePort(drvos::Handle h, const char* name, uint64_t nowUs) {
  SerialPort* port = FindPort(h);  // left behind by an OS layer that went away
  for (size_t i = 0; port == nullptr && i < kMaxPorts; ++i) {
    uint32_t free = 0;
    if (gPorts[i].handle.compare_exchange_strong(free, h, std::memory_order_acq_rel)) {
      port = &gPorts[i];
    }
  }
  if (port == nullptr) return nullptr;
  TraceEnd(port->ring);
  port->polling = false;
  port->gone = false;
  port->unsettled = false;
  port->lastAttemptUs = 0;
  port->timeouts = 0;
  port->reopens = 0;
  port->ring = TraceBegin(name, nowUs);
  return port;
}

// After the device failed: the first failure lets go of the dead device at once, then
// it is looked for once a second. True when it is back.
bool LookForDevice(TBrelRecord* r, SerialPort& port, drvos::Os& os) {
  const uint64_t now = os.NowUs();
  if (!port.polling || (port.gone && now - port.lastAttemptUs < kReopenEveryUs)) return false;
  port.gone = true;
  port.lastAttemptUs = now;
  ++port.reopens;
  const drvos::Handle h = LoadWord(r->Handle);
  if (!os.ReopenDevice(h) || !os.SetCommLine(h, kLine) || !os.SetCommTimeouts(h, kTimeouts)) {
    return false;
  }
  port.gone = false;
  // No motor may start by itself after a replug: the box hears all-off until the
  // caller commands again.
  StoreWord(r->MotorWord, 0);
  return true;
}

// A reply that did not come in time may still be on its way (a slow adapter, a box
// that answers late). The purge alone would not catch it: it could arrive inside the
// next command's read and be taken for that reply. So after a failed reply the line is
// read until it has stayed quiet for a whole read time-out; a line that never goes
// quiet is given up on after a few reads, and that exchange fails as it will.
void DrainLateReply(drvos::Os& os, drvos::Handle h) {
  uint8_t sink[4];
  for (int i = 0; i < 4; ++i) {
    if (os.ReadFile(h, sink, sizeof sink) <= 0) return;
  }
}

// One write of the command, one read of the whole reply. Returns the bytes that
// arrived (0 when the device failed).
int Exchange(TBrelRecord* r, uint8_t cmd, bool wide, uint8_t* reply, uint32_t replyLen) {
  auto& os = drvos::CurrentOs();
  const drvos::Handle h = LoadWord(r->Handle);
  SerialPort* port = FindPort(h);
  if (port != nullptr && port->unsettled) {
    DrainLateReply(os, h);
    port->unsettled = false;
  }
  const uint32_t motors = LoadWord(r->MotorWord);
  const uint8_t command[3] = {cmd, static_cast<uint8_t>(motors), static_cast<uint8_t>(motors >> 8)};
  const uint32_t commandLen = wide ? 3 : 2;
  const bool traced = TraceOn();
  const uint64_t startUs = traced ? os.NowUs() : 0;
  // Whatever waits now belongs to an earlier command: the rest of a reply split by the
  // line, a reply that came late, a stray byte. Read as this command's reply, it would
  // shift every later reply by as much, for good.
  os.PurgeInput(h);
  const int32_t written = os.WriteFile(h, command, commandLen);  // the read tells
  const int32_t got = os.ReadFile(h, reply, replyLen);
  const uint32_t arrived = got > 0 ? std::min<uint32_t>(static_cast<uint32_t>(got), replyLen) : 0;
  if (arrived == replyLen && !traced) return static_cast<int>(arrived);  // a clean line

  if (port == nullptr) return static_cast<int>(arrived);
  TraceResult result = arrived == replyLen ? TraceResult::kOk
                       : arrived > 0       ? TraceResult::kShort
                                           : TraceResult::kTimeout;
  if (got < 0) {
    result = LookForDevice(r, *port, os) ? TraceResult::kBack : TraceResult::kGone;
  } else if (result != TraceResult::kOk) {
    ++port->timeouts;
    port->unsettled = true;
  }
  if (traced && port->ring != nullptr) {
    TraceEntry e;
    e.atUs = startUs;
    e.tookUs = static_cast<uint32_t>(std::min<uint64_t>(os.NowUs() - startUs, UINT32_MAX));
    e.timeouts = port->timeouts;
    e.reopens = port->reopens;
    e.outLen = static_cast<uint8_t>(std::clamp<int32_t>(written, 0, commandLen));
    std::copy(command, command + 3, e.out);
    e.inLen = static_cast<uint8_t>(arrived);
    std::copy(reply, reply + arrived, e.in);
    e.want = static_cast<uint8_t>(replyLen);
    e.result = result;
    port->ring->Push(e);
  }
  return static_cast<int>(arrived);
}

bool Wide(const TBrelRecord* r) {
  return LoadWord(r->InputCount) != 8;
}

// Inputs from the reply; a field counts only if all its bytes arrived.
uint32_t DecodeInputs(const uint8_t* reply, int got, bool wide) {
  if (!wide) return got >= 1 ? reply[0] : ZQ_ERROR;
  return got >= 2 ? reply[0] + 256u * reply[1] : ZQ_ERROR;
}

uint32_t DigitalExchange(TBrelRecord* r, bool wide) {
  uint8_t reply[2];
  const int got = Exchange(r, wide ? 0xC2 : 0xC1, wide, reply, wide ? 2 : 1);
  const uint32_t word = DecodeInputs(reply, got, wide);
  StoreWord(r->InputWord, word);
  return word;
}

}  // namespace

uint32_t SerialPollInputs(TBrelRecord* record) {
  return DigitalExchange(record, Wide(record));
}

uint32_t SerialReadAnalog(TBrelRecord* record, int channel) {
  const bool wide = Wide(record);
  const uint8_t cmd = static_cast<uint8_t>((wide ? 0xC2 : 0xC1) + (channel == 0 ? 4 : 8));
  const int inputBytes = wide ? 2 : 1;
  uint8_t reply[4];
  const int got = Exchange(record, cmd, wide, reply, static_cast<uint32_t>(inputBytes + 2));
  StoreWord(record->InputWord, DecodeInputs(reply, got, wide));
  // Never decode bytes that did not come: a short reply fails the analog value.
  if (got < inputBytes + 2) return ZQ_ERROR;
  const uint32_t value = 256u * reply[inputBytes] + reply[inputBytes + 1];
  return std::min<uint32_t>(value, 2048);
}

uint32_t OpenSerialPort(TBrelRecord* record, const char* name) {
  auto& os = drvos::CurrentOs();
  const drvos::Handle h = os.OpenDevice(name);
  if (h == drvos::kNoHandle) {
    NoteFailedOpen(name, name, os.LastError());
    return ZQ_ERROR;
  }
  if (!os.SetCommLine(h, kLine) || !os.SetCommTimeouts(h, kTimeouts)) {
    const int error = os.LastError();
    os.CloseHandle(h);
    NoteFailedOpen(name, name, error);
    return ZQ_ERROR;
  }
  StoreWord(record->Handle, h);
  StoreWord(record->PortAddr, 0);
  StoreWord(record->LptDelay, 1);
  StoreWord(record->AnalogScan, 1);
  StoreWord(record->MotorWord, 0);
  SerialPort* port = AcquirePort(h, name, os.NowUs());
  // The first exchange is always the 8-input one: every box answers it.
  const uint32_t word = DigitalExchange(record, false);
  if (word == ZQ_ERROR) {
    ReleaseSerialPort(h);
    os.CloseHandle(h);
    StoreWord(record->Handle, 0);
    NoteFailedOpen(name, name, ETIMEDOUT, true);
  } else if (port != nullptr) {
    port->polling = true;  // before the timer starts, so its thread sees it
  }
  return word;
}

void ReleaseSerialPort(uint32_t handle) {
  SerialPort* port = FindPort(handle);
  if (port == nullptr) return;
  TraceEnd(port->ring);
  port->ring = nullptr;
  port->handle.store(0, std::memory_order_release);
}

}  // namespace kelvora::driver
