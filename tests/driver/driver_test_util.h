// Shared helpers of the virtual-time driver tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "driver/zqBrel20.h"
#include "sim/virtual_rig.h"

namespace kelvora::drvtest {

class DriverTest : public ::testing::Test {
 protected:
  DriverTest() { std::memset(&rec, 0, sizeof rec); }
  ~DriverTest() override { zqCloseInterface(&rec); }  // before the rig goes

  // Opens COM1 and forgets what open sent, so that a test sees only the ticks.
  int32_t OpenQuiet(uint32_t inputCount = 8, uint32_t analogPhase = 0, uint32_t period = 10) {
    rec.InputCount = inputCount;
    rec.AnalogPhase = analogPhase;
    rec.PollInterval = period;
    const int32_t r = zqOpenInterface(&rec, "COM1");
    rig.box.ClearRecords();
    rig.os.ClearCalls();
    return r;
  }
  std::vector<uint8_t> Sent() const { return rig.box.Received(); }

  sim::VirtualRig rig;
  TBrelRecord rec;
};

}  // namespace kelvora::drvtest
