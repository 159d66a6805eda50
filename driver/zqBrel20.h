// SPDX-License-Identifier: MIT
// zqBrel20 — driver library for the construction-kit robot interface box.
//
// The box has 4 motor outputs and 8 digital inputs (8 and 16 with the extension module)
// and is reached on a serial port (9600 baud, command bytes) or a parallel port (a chain
// of shift registers clocked bit by bit). The library opens the port, polls the box from
// a periodic timer of its own, sends the motor word on every tick, reads the inputs back
// and counts every change of every input into the caller's interface record.
//
// USING IT
//
//   TBrelRecord record = {0};          // zeroed; it must stay where it is while open
//   record.PollInterval = 10;          // ms; the library raises it to its minimum
//   if (zqOpenInterface(&record, "COM1") == (int32_t)ZQ_ERROR) { /* errno says why */ }
//   zqSetMotor(&record, 1, 2);         // motor 1 right; the next tick sends it
//   ... read record.InputWord and record.Counters[] (see THREADS) ...
//   zqSetMotor(&record, 0, 0);         // every motor off ...
//   ... wait at least one PollInterval, so that a tick carries the 0 to the box ...
//   zqCloseInterface(&record);
//
// Build with `pkg-config --cflags --libs zqbrel20`, or in CMake with
// find_package(zqBrel20 CONFIG REQUIRED) and target_link_libraries(app zqBrel20::zqBrel20).
//
// PORT NAMES
//
// A name whose first character is 'C' or 'c' is a serial port, any other a parallel
// port: "COM1" .. "COM9", "LPT1" .. "LPT3", or "LPT" alone (a parallel port given by its
// I/O base in PortAddr, see below). On Linux the name is mapped to a device file, first
// match wins:
//   1. the environment: ZQBREL_COM<n> or ZQBREL_LPT<n>, e.g. ZQBREL_COM1=/dev/ttyUSB0;
//   2. the per-user ports file $XDG_CONFIG_HOME/kelvora/ports (default
//      ~/.config/kelvora/ports), lines such as COM1=/dev/serial/by-id/usb-...;
//   3. the default: COM<n> is /dev/ttyS<n-1>, LPT<n> is /dev/parport<n-1>.
// A serial device is opened exclusively (no second opener, in this or any other
// process) and raw. With ZQBREL_PLATFORM=nt a parallel port is reached through the port
// driver (the LPT1 ppdev device, run by its service, see zqStartDriver) instead of
// directly.
//
// THE ERROR VALUE 0x1FFFF (ZQ_ERROR)
//
// 0x1FFFF (131071) is the library's one failure value. An input word lies in 0..0xFFFF,
// so the two can never be confused. It appears
//   - as the result of zqOpenInterface when the port cannot be opened or the box does
//     not answer the first exchange;
//   - as the result of zqGetInput, zqSetMotor and zqSetLamp on a record that is not
//     open (Handle 0), and of zqStartDriver and zqStopDriver when they fail;
//   - in InputWord after a tick whose exchange failed (no reply, a short one, a device
//     that vanished), and as the result of zqSetMotor and zqSetLamp then, which return
//     InputWord. zqGetInput then reports every input 1..16 as set. The next good
//     exchange overwrites it; the timer keeps polling;
//   - in AnalogX or AnalogY after a failed analog measurement;
//   - during the close's wait (see zqCloseInterface): every tick finds Handle 0 and
//     stores 0x1FFFF.
// The edge counting runs on 0x1FFFF as on any word: an input that read 0 is counted
// once when the error arrives and once more when it reads 0 again. A caller that counts
// impulses treats a tick with 0x1FFFF as lost counts.
// Nothing else reports an error: the library throws nothing, shows nothing and prints
// nothing (except the trace, below).
//
// THREADS
//
// Two kinds of threads meet in the record: the caller's (every function below, and the
// caller's own reads and writes of fields) and the record's timer thread, which runs
// the poll tick every PollInterval ms. Nothing is locked. Every field is one aligned
// 32-bit word with a single writer (see the record below), read and written whole; a
// C++ caller accesses the shared fields atomically (std::atomic_ref<uint32_t>, relaxed
// order is enough). The functions may be called from any thread, but the caller side of
// one record must be one thread at a time: zqSetMotor and zqSetLamp read, change and
// write MotorWord, and two callers racing on it would lose a change. Open and close of
// one record must not run at the same time as any other call on it. Records on
// different ports are independent and may be used from different threads.
//
// THE WIRE TRACE
//
// With ZQBREL_TRACE=FILE ("-" for standard error) in the environment when a serial port
// is opened, every exchange on it becomes one line of text in FILE, written by a thread
// of lowest priority, and every open that fails one line with the device and the reason;
// unset, it costs nothing.
#ifndef ZQBREL20_H
#define ZQBREL20_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
// The export table (zqBrel20.def) says what the DLL exports; the functions use the
// platform's convention for exported functions, the callee removing the arguments.
#define ZQBREL_API
#define ZQBREL_CALL __stdcall
#elif defined(ZQBREL_BUILDING)
#define ZQBREL_API __attribute__((visibility("default")))
#define ZQBREL_CALL
#else
#define ZQBREL_API
#define ZQBREL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The interface record: 28 consecutive 32-bit little-endian words, 112 bytes, owned by
// the caller. From zqOpenInterface until zqCloseInterface has returned the library keeps
// its address and the timer thread writes into it: the record must neither move nor be
// freed meanwhile, and a record must not be opened twice. Writers, field by field
// ("open" and "close" are zqOpenInterface and zqCloseInterface):
typedef struct TBrelRecord {
  // Open port or device, 0 = closed (the test for "open" everywhere); 1 = parallel port
  // reached by its base without a device. Written by open and close only.
  uint32_t Handle;
  // 0 serial box, 1 port driver, else the I/O base of a direct parallel port (0x378,
  // 0x278, 0x3BC). The caller sets the base before an open of "LPT"; open sets it for
  // every other name; close sets 0. Read by every tick: keep it while open.
  uint32_t PortAddr;
  // Parallel direct path: how often every data-register write is repeated (shift clock
  // delay). Caller before open; open sets 1 for serial and the port driver, and 10 for a
  // direct port left at 0.
  uint32_t LptDelay;
  // Parallel analog measurement: scale of the count (steps per count on the direct
  // path, reads at most on the port driver). Caller before open; open sets 1 for serial
  // and a default for a parallel port left at 0 (5 direct, 2048 port driver).
  uint32_t AnalogScan;
  // 8, or 16 with the extension module. Caller before open; open turns any other value
  // into 8. Read by every tick: keep it while open.
  uint32_t InputCount;
  // The record's periodic timer, 0 when none could be made (the open still succeeds but
  // nothing is polled). Written by open.
  uint32_t TimerId;
  // Timer period in ms. Caller before open; open raises it to the minimum of the box:
  // serial 10, 12 with 16 inputs, 16 with analog polling; parallel 1, and 100 whenever
  // analog polling is on and less than 20 was asked for. Close waits four periods.
  uint32_t PollInterval;
  // Analog polling: 0 off, 1 the next tick measures EX, 2 the next tick measures EY.
  // Caller before open (open keeps 1 and turns anything else into 0); after open the
  // timer thread alone writes it, alternating 1 and 2.
  uint32_t AnalogPhase;
  // The motor word sent on every tick: motor m (1..8) owns bit 2m-2 (left, toward the
  // axis's zero end) and bit 2m-1 (right); single outputs (zqSetLamp) are bits 0..15.
  // Written by the caller (directly or through zqSetMotor and zqSetLamp); open and close
  // set 0; the tick only reads it, so a tick sends either the old or the new word.
  uint32_t MotorWord;
  // The inputs of the last exchange: input n (1..16) is bit n-1; 0x1FFFF after a failed
  // one. Written by open (first exchange) and after that by the timer thread alone.
  uint32_t InputWord;
  // Analog inputs EX and EY as counts (at most 2048; through the port driver at most
  // AnalogScan), 0x1FFFF after a failed measurement. Written by the timer thread alone,
  // and only while AnalogPhase is not 0.
  uint32_t AnalogX;
  uint32_t AnalogY;
  // Changes of input n counted in Counters[n-1]: every tick adds 1 for every input
  // 1..InputCount that differs from the previous tick's (in either direction; a change
  // that comes and goes between two ticks is not seen). The timer thread adds
  // (atomically); the caller may reset an entry to 0, typically before a move, and
  // otherwise only reads.
  uint32_t Counters[16];
} TBrelRecord;

#define ZQ_ERROR 0x1FFFFu

// zqOpenInterface — opens the port and starts polling the record.
//   record    the caller's record. Set before: PollInterval, InputCount, AnalogPhase, and
//             for a parallel port LptDelay, AnalogScan (0 = default), and PortAddr for
//             "LPT". It must not be open already.
//   portName  zero-terminated 8-bit string, "COM1" .. "COM9", "LPT", "LPT1" .. "LPT3"
//             (see PORT NAMES).
// Opens the port, sends the motor word 0 in a first exchange (an 8-input exchange on the
// serial box), applies the minimums to PollInterval, InputCount and AnalogPhase (see the
// fields) and starts the record's timer.
// Writes Handle, PortAddr, LptDelay, AnalogScan, MotorWord (0), InputWord, TimerId,
// PollInterval, InputCount, AnalogPhase.
// Result: the input word of the first exchange (0..0xFFFF), or 0x1FFFF when
//   - record is null (nothing is touched) or portName is null (only Handle and
//     MotorWord are set, to 0),
//   - the name maps to no device, or the device cannot be opened or set up (missing,
//     no permission, held by another program, not a serial port),
//   - the box does not answer the first exchange.
// After a failure Handle is 0, the port is closed again and no timer runs, and errno
// holds why (read it at once: any later call may change it):
//   ENOENT, ENODEV, ENXIO  the device is not there (or the name maps to none)
//   EACCES, EPERM          no permission (join the group dialout, or lp for ppdev)
//   EBUSY                  held by another program, or already open in this one
//   ENOTTY                 the device is no serial port
//   ETIMEDOUT              the device opened, but the box did not answer
//   EADDRNOTAVAIL          "LPT" with no parallel base in PortAddr
//   ESRCH                  the port driver's service is not running
//   EINVAL                 record or portName is null
//   any other errno value  as the system reported it (EIO, ...).
// ZQBREL_TRACE writes a line for every failed open, with the device and the reason.
// The first exchange takes up to about 35 ms on the serial box.
// The library keeps a copy of the record last opened or closed: should the process end,
// or the library be unloaded, with that record still open, it is closed then (after the
// same wait). Other records still open are not.
ZQBREL_API int32_t ZQBREL_CALL zqOpenInterface(TBrelRecord* record, const char* portName);

// zqCloseInterface — stops polling and closes the port.
// Sets Handle, PortAddr and MotorWord to 0 first, then waits 4 x PollInterval ms (ticks
// already under way finish; every tick from now on finds Handle 0 and stores 0x1FFFF in
// InputWord), kills the timer and closes the port. When it returns, the timer thread is
// gone and the library no longer holds the record.
// Close itself sends nothing: the zero motor word never reaches the box. To leave the
// motors off, set MotorWord to 0 and let at least one PollInterval pass before closing.
// Result: non-zero when the port was closed; 0 when the record was not open (a second
// close) or closing the port failed. Never 0x1FFFF.
// Must not run at the same time as another call on the same record.
ZQBREL_API int32_t ZQBREL_CALL zqCloseInterface(TBrelRecord* record);

// zqGetVersion — the library's version as a number: 201 (version 2.01). Touches nothing.
ZQBREL_API int32_t ZQBREL_CALL zqGetVersion(void);

// zqGetInput — one input from the last exchange; no I/O.
//   input  1..16 (0 and numbers outside 0..16 read 0).
// Reads Handle and InputWord.
// Result: -1 (all bits set, not 1) when the input is set, 0 when it is clear, 0x1FFFF
// when the record is not open. After a failed exchange every input reads -1.
ZQBREL_API int32_t ZQBREL_CALL zqGetInput(TBrelRecord* record, int32_t input);

// zqSetMotor — switches one motor; the next tick sends the new motor word.
//   motor      1..8; 0 switches every motor (numbers outside 0..8 act as 0).
//   direction  0 off, 1 left, 2 right; any other value clears the whole motor word.
// Clears the motor's two bits (motor 0: the whole word), then sets the one for the
// direction. Also clears bits 16..31. Reads Handle and InputWord, writes MotorWord.
// Result: InputWord (which may itself be 0x1FFFF), or 0x1FFFF when the record is not
// open, in which case MotorWord is left alone.
ZQBREL_API int32_t ZQBREL_CALL zqSetMotor(TBrelRecord* record, int32_t motor, int32_t direction);

// zqSetLamp — switches one single output (bit output-1 of the motor word).
//   output  1..16 (0 and numbers outside 0..16 change nothing).
//   on      non-zero = on.
// On the parallel box the bit is active high (set = on); on the serial box active low
// (cleared = on). Reads Handle, PortAddr and InputWord, writes MotorWord.
// Result: InputWord, or 0x1FFFF when the record is not open (nothing changed).
ZQBREL_API int32_t ZQBREL_CALL zqSetLamp(TBrelRecord* record, int32_t output, int32_t on);

// zqStartDriver, zqStopDriver — start or stop the port driver's service ("WinRT"),
// through which a parallel port is reached with ZQBREL_PLATFORM=nt. On Linux the service
// is the library's in-process stand-in, installed and running from the start (so a
// start fails until it has been stopped). They touch no record.
// Result: 0 on success, 0x1FFFF when the service cannot be reached or refuses: start
// while it runs, stop while it is stopped or while a port is open through it.
ZQBREL_API int32_t ZQBREL_CALL zqStartDriver(void);
ZQBREL_API int32_t ZQBREL_CALL zqStopDriver(void);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(TBrelRecord) == 112, "the interface record is 28 words");
static_assert(offsetof(TBrelRecord, Handle) == 0);
static_assert(offsetof(TBrelRecord, PortAddr) == 4);
static_assert(offsetof(TBrelRecord, LptDelay) == 8);
static_assert(offsetof(TBrelRecord, AnalogScan) == 12);
static_assert(offsetof(TBrelRecord, InputCount) == 16);
static_assert(offsetof(TBrelRecord, TimerId) == 20);
static_assert(offsetof(TBrelRecord, PollInterval) == 24);
static_assert(offsetof(TBrelRecord, AnalogPhase) == 28);
static_assert(offsetof(TBrelRecord, MotorWord) == 32);
static_assert(offsetof(TBrelRecord, InputWord) == 36);
static_assert(offsetof(TBrelRecord, AnalogX) == 40);
static_assert(offsetof(TBrelRecord, AnalogY) == 44);
static_assert(offsetof(TBrelRecord, Counters) == 48);
#endif

#endif  // ZQBREL20_H
