// SPDX-License-Identifier: MIT
// Test fixture: a virtual clock, a virtual box on COM1 and the virtual OS layer,
// installed as the driver's OS layer and as the program's clock for the rig's life.
//
// The destructor closes nothing: a test closes its interface records (or lets a
// TBrelFace do it) before the rig goes, since a record left open would point the
// driver at a clock and box that no longer exist. Restoring the OS layer also clears
// the driver's saved copy of the last record, so the clean-up at exit never reaches
// the destroyed rig.
#pragma once

#include "driver/os/os.h"
#include "platform/clock.h"
#include "sim/virtual_box.h"
#include "sim/virtual_clock.h"
#include "sim/virtual_os.h"

namespace kelvora::sim {

struct VirtualRig {
  VirtualClock clock;
  VirtualBox box;
  VirtualOs os{clock};

  VirtualRig() {
    os.AttachSerial("COM1", &box);
    drvos::SetOs(&os);
    platform::SetClock(&clock);
  }
  ~VirtualRig() {
    platform::SetClock(nullptr);
    drvos::SetOs(nullptr);
  }
  VirtualRig(const VirtualRig&) = delete;
  VirtualRig& operator=(const VirtualRig&) = delete;
};

}  // namespace kelvora::sim
