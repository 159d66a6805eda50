// Parallel box: not built yet. Reports the device as not available, as on a machine
// without a parallel port.
#include "driver/connections.h"

namespace kelvora::driver {

uint32_t OpenParallelPort(TBrelRecord* record, const char*) {
  record->Handle = 0;
  return ZQ_ERROR;
}
uint32_t ParallelPollInputs(TBrelRecord*) { return ZQ_ERROR; }
uint32_t ParallelReadAnalog(TBrelRecord*, int) { return ZQ_ERROR; }
int32_t StartPortDriverService() { return static_cast<int32_t>(ZQ_ERROR); }
int32_t StopPortDriverService() { return static_cast<int32_t>(ZQ_ERROR); }

}  // namespace kelvora::driver
