// The serial box: opening the port and the six command/reply exchanges.
#include <algorithm>

#include "driver/connections.h"
#include "driver/os/os.h"

namespace kelvora::driver {
namespace {

constexpr drvos::SerialLine kLine{9600, 8, 0, 0};  // 8N1
// Read: 30 ms + 4 ms per byte in all, or 5 ms of quiet once a byte has come.
// Write: 10 ms + 1 ms per byte.
constexpr drvos::SerialTimeouts kTimeouts{5, 4, 30, 1, 10};

// One write of the command, one read of the whole reply. Returns the bytes that
// arrived (0 when the device failed).
int Exchange(TBrelRecord* r, uint8_t cmd, bool wide, uint8_t* reply, uint32_t replyLen) {
  auto& os = drvos::CurrentOs();
  const drvos::Handle h = LoadWord(r->Handle);
  const uint32_t motors = LoadWord(r->MotorWord);
  const uint8_t command[3] = {cmd, static_cast<uint8_t>(motors), static_cast<uint8_t>(motors >> 8)};
  os.WriteFile(h, command, wide ? 3 : 2);  // outcome not tested: the read tells
  const int32_t got = os.ReadFile(h, reply, replyLen);
  return got > 0 ? std::min<int>(got, static_cast<int>(replyLen)) : 0;
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
  if (h == drvos::kNoHandle) return ZQ_ERROR;
  if (!os.SetCommLine(h, kLine) || !os.SetCommTimeouts(h, kTimeouts)) {
    os.CloseHandle(h);
    return ZQ_ERROR;
  }
  StoreWord(record->Handle, h);
  StoreWord(record->PortAddr, 0);
  StoreWord(record->LptDelay, 1);
  StoreWord(record->AnalogScan, 1);
  StoreWord(record->MotorWord, 0);
  // The first exchange is always the 8-input one: every box answers it.
  const uint32_t word = DigitalExchange(record, false);
  if (word == ZQ_ERROR) {
    os.CloseHandle(h);
    StoreWord(record->Handle, 0);
  }
  return word;
}

}  // namespace kelvora::driver
