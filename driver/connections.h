// The connection-specific exchanges behind the exports. The serial box lives in
// serial.cpp, the parallel box (direct and through the port driver) in parallel.cpp.
#pragma once

#include <cstdint>

#include "driver/zqBrel20.h"

namespace kelvora::driver {

// Open the port, fill Handle, PortAddr, LptDelay, AnalogScan, MotorWord = 0, perform
// the first exchange and return its input word; ZQ_ERROR with Handle 0 on failure.
uint32_t OpenSerialPort(TBrelRecord* record, const char* name);
uint32_t OpenParallelPort(TBrelRecord* record, const char* name);

// One digital exchange; Handle is known to be set. Returns the new input word or ZQ_ERROR.
uint32_t SerialPollInputs(TBrelRecord* record);
uint32_t ParallelPollInputs(TBrelRecord* record);

// One analog measurement, channel 0 = EX, 1 = EY. Returns the value or ZQ_ERROR.
uint32_t SerialReadAnalog(TBrelRecord* record, int channel);
uint32_t ParallelReadAnalog(TBrelRecord* record, int channel);

// Service start and stop of the port driver: 0 or ZQ_ERROR.
int32_t StartPortDriverService();
int32_t StopPortDriverService();

}  // namespace kelvora::driver
