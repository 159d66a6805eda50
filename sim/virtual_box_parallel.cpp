// The parallel side of the virtual box (data and status registers): placeholder until
// the shift-register model is built; the box ignores the data register and reads 0.
#include "sim/virtual_box.h"

namespace kelvora::sim {

void VirtualBox::WriteData(uint8_t) {}
uint8_t VirtualBox::ReadStatus() {
  return 0;
}

}  // namespace kelvora::sim
