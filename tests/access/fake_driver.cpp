#include "tests/access/fake_driver.h"

#include "platform/clock.h"

namespace kelvora::testing {

FakeDriver& Driver() {
  static FakeDriver driver;
  return driver;
}

}  // namespace kelvora::testing

using kelvora::testing::Driver;

extern "C" int32_t zqOpenInterface(TBrelRecord* record, const char* portName) {
  record->Handle = 0;
  record->MotorWord = 0;
  if (portName == nullptr) return static_cast<int32_t>(ZQ_ERROR);
  Driver().openedNames.emplace_back(portName);
  if (Driver().openResult == ZQ_ERROR) return static_cast<int32_t>(ZQ_ERROR);
  record->Handle = 7;
  record->InputWord = Driver().openResult;
  return static_cast<int32_t>(Driver().openResult);
}

extern "C" int32_t zqCloseInterface(TBrelRecord* record) {
  ++Driver().closeCalls;
  if (record->Handle == 0) return 0;
  Driver().motorWordAtClose = record->MotorWord;
  Driver().closedAtMs = kelvora::platform::GetTickCount();
  record->Handle = 0;
  record->PortAddr = 0;
  record->MotorWord = 0;
  return Driver().closeResult;
}

extern "C" int32_t zqSetMotor(TBrelRecord* record, int32_t motor, int32_t direction) {
  ++Driver().setMotorCalls;
  static constexpr uint32_t kClear[9] = {0,      0xFFFC, 0xFFF3, 0xFFCF, 0xFF3F,
                                         0xFCFF, 0xF3FF, 0xCFFF, 0x3FFF};
  if (record->Handle == 0) return static_cast<int32_t>(ZQ_ERROR);
  const uint32_t w = record->MotorWord & kClear[motor];
  const uint32_t left = motor == 0 ? 0 : 1u << (2 * motor - 2);
  const uint32_t right = motor == 0 ? 0 : 1u << (2 * motor - 1);
  if (direction == 0) {
    record->MotorWord = w;
  } else if (direction == 1) {
    record->MotorWord = w | left;
  } else if (direction == 2) {
    record->MotorWord = w | right;
  } else {
    record->MotorWord = 0;
  }
  return static_cast<int32_t>(record->InputWord);
}
