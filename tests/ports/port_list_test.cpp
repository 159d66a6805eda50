// SPDX-License-Identifier: MIT
// kelvora-ports' view of a machine, on a folder laid out like one: which devices are
// ports, their stable names, and who may open them.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tools/port_list.h"

namespace kelvora::tools {
namespace {

void Make(const std::string& path, const std::string& text = "") {
  std::ofstream(path) << text;
}

TEST(PortList, SerialAndParallelWithStableNames) {
  char tmpl[] = "/tmp/kelvora-root-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string root = tmpl;
  for (const char* d :
       {"/dev", "/dev/serial", "/dev/serial/by-id", "/dev/serial/by-path", "/sys", "/sys/class",
        "/sys/class/tty", "/sys/class/tty/ttyS0", "/sys/class/tty/ttyS1"})
    ASSERT_EQ(mkdir((root + d).c_str(), 0755), 0) << d;
  for (const char* dev : {"ttyS0", "ttyS1", "ttyS10", "ttyUSB1", "ttyUSB0", "ttyACM0", "parport0",
                          "ttyUSB", "ttyUSBx", "tty0", "lp0"})
    Make(root + "/dev/" + dev);
  Make(root + "/sys/class/tty/ttyS0/type", "4\n");  // a UART
  Make(root + "/sys/class/tty/ttyS1/type", "0\n");  // no UART behind it: not listed
  // ttyS10 has no sysfs entry: listed, as nothing says it is empty.
  ASSERT_EQ(symlink("../../ttyUSB0", (root + "/dev/serial/by-id/usb-FTDI_A600-if00-port0").c_str()),
            0);
  ASSERT_EQ(symlink("../../ttyUSB0", (root + "/dev/serial/by-path/pci-usb-0:1:1.0").c_str()), 0);
  ASSERT_EQ(symlink("../../ttyACM0", (root + "/dev/serial/by-path/pci-usb-0:2:1.0").c_str()), 0);
  chmod((root + "/dev/ttyUSB1").c_str(), 0);

  const auto ports = ListPorts(root);
  ASSERT_EQ(ports.size(), 6u);
  const struct {
    const char* device;
    const char* stable;
    bool parallel;
  } expected[] = {
      {"/dev/ttyS0", "", false},
      {"/dev/ttyS10", "", false},
      {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_A600-if00-port0", false},  // by-id first
      {"/dev/ttyUSB1", "", false},
      {"/dev/ttyACM0", "/dev/serial/by-path/pci-usb-0:2:1.0", false},
      {"/dev/parport0", "", true},
  };
  for (size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(ports[i].device, expected[i].device) << i;
    EXPECT_EQ(ports[i].stableName, expected[i].stable) << i;
    EXPECT_EQ(ports[i].parallel, expected[i].parallel) << i;
    EXPECT_FALSE(ports[i].group.empty()) << i;
  }
  // Permissions decide access, except for root, who may open anything.
  EXPECT_EQ(ports[3].accessible, geteuid() == 0);
  EXPECT_TRUE(ports[0].accessible);

  EXPECT_TRUE(ListPorts(root + "/nothing-here").empty());
  std::string cleanup = "rm -rf '" + root + "'";
  EXPECT_EQ(system(cleanup.c_str()), 0);
}

}  // namespace
}  // namespace kelvora::tools
