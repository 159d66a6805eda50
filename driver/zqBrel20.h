// zqBrel20 — driver library for the construction-kit robot interface box.
//
// One connection's whole state lives in the caller's interface record; the library
// keeps only the pointer it is given from zqOpenInterface until zqCloseInterface has
// returned, and its poll timer writes inputs and counters into the record in place.
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

// 28 consecutive 32-bit little-endian words, 112 bytes.
typedef struct TBrelRecord {
  uint32_t Handle;        // open port or device; 0 = closed, 1 = parallel port without device
  uint32_t PortAddr;      // 0 serial, 1 port driver, else I/O base of a direct parallel port
  uint32_t LptDelay;      // repeats of every data-register write on the direct path
  uint32_t AnalogScan;    // scale of the analog count
  uint32_t InputCount;    // 8, or 16 with the extension module
  uint32_t TimerId;       // periodic timer, 0 when there is none
  uint32_t PollInterval;  // timer period in ms
  uint32_t AnalogPhase;   // 0 off, 1 next tick measures EX, 2 next tick measures EY
  uint32_t MotorWord;     // motor m: bit 2m-2 left, bit 2m-1 right
  uint32_t InputWord;     // input n is bit n-1; 0x1FFFF after a failed exchange
  uint32_t AnalogX;
  uint32_t AnalogY;
  uint32_t Counters[16];  // changes of input n counted in Counters[n-1]
} TBrelRecord;

#define ZQ_ERROR 0x1FFFFu

ZQBREL_API int32_t ZQBREL_CALL zqOpenInterface(TBrelRecord* record, const char* portName);
ZQBREL_API int32_t ZQBREL_CALL zqCloseInterface(TBrelRecord* record);
ZQBREL_API int32_t ZQBREL_CALL zqGetVersion(void);
ZQBREL_API int32_t ZQBREL_CALL zqGetInput(TBrelRecord* record, int32_t input);
ZQBREL_API int32_t ZQBREL_CALL zqSetMotor(TBrelRecord* record, int32_t motor, int32_t direction);
ZQBREL_API int32_t ZQBREL_CALL zqSetLamp(TBrelRecord* record, int32_t output, int32_t on);
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
