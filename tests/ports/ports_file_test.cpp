// SPDX-License-Identifier: MIT
// The per-user ports file: how its lines are read, how it ranks between the environment
// and the default device, and a port mapped in it opened end to end on a pseudo-terminal.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "driver/os/ports_file.h"
#include "driver/os/posix_os.h"
#include "driver/zqBrel20.h"
#include "tests/driver/pty_box.h"

namespace kelvora::drvos {
namespace {

TEST(PortsFile, LinesCommentsBlanksAndUnknownKeys) {
  const std::string text =
      "# Kelvora ports\n"
      "\n"
      "   \t\n"
      "COM1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A600-if00-port0\n"
      "  com2 = /dev/ttyUSB1  \r\n"
      "#COM3=/dev/commented\n"
      "  # COM4=/dev/commented-too\n"
      "BAUD=9600\n"
      "COM5\n"
      "COM6=\n"
      "LPT1=/dev/parport1\n"
      "COM7=/dev/first\n"
      "COM7=/dev/second\n"
      "COM8=/dev/ttyUSB8";  // no newline at the end
  const struct {
    const char* port;
    const char* device;
  } cases[] = {
      {"COM1", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A600-if00-port0"},
      {"COM2", "/dev/ttyUSB1"},  // key case and blanks around both sides, CRLF
      {"com2", "/dev/ttyUSB1"},
      {"COM3", ""},  // comment
      {"COM4", ""},  // comment after blanks
      {"COM5", ""},  // no '='
      {"COM6", ""},  // empty value maps nothing
      {"LPT1", "/dev/parport1"},
      {"COM7", "/dev/second"},  // the later line counts
      {"COM8", "/dev/ttyUSB8"},
      {"COM9", ""},
      {"BAUD", "9600"},  // a key is only looked up, never acted on
  };
  for (const auto& c : cases) EXPECT_EQ(FindPortMapping(text, c.port), c.device) << c.port;
  EXPECT_EQ(FindPortMapping("", "COM1"), "");
}

// A private $XDG_CONFIG_HOME for the file, restored afterwards.
class PortsFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kelvora-ports-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    if (const char* old = getenv("XDG_CONFIG_HOME")) oldXdg_ = old;
    if (const char* old = getenv("HOME")) oldHome_ = old;
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    unsetenv("ZQBREL_COM5");
    file_ = dir_ + "/kelvora/ports";
  }
  void TearDown() override {
    std::remove(file_.c_str());
    rmdir((dir_ + "/kelvora").c_str());
    rmdir(dir_.c_str());
    unsetenv("ZQBREL_COM5");
    setenv("HOME", oldHome_.c_str(), 1);
    if (oldXdg_.empty())
      unsetenv("XDG_CONFIG_HOME");
    else
      setenv("XDG_CONFIG_HOME", oldXdg_.c_str(), 1);
  }
  void Write(const std::string& text) {
    mkdir((dir_ + "/kelvora").c_str(), 0700);
    std::ofstream(file_) << text;
  }

  std::string dir_, oldXdg_, oldHome_, file_;
};

TEST_F(PortsFileOnDisk, EnvironmentThenFileThenDefault) {
  EXPECT_EQ(PortsFilePath(), file_);
  // No file at all: the default devices, nothing reported.
  EXPECT_EQ(MappedPortDevice("COM5"), "");
  EXPECT_EQ(DevicePathFor("COM5"), "/dev/ttyS4");

  Write("# adapter\nCOM5=/dev/serial/by-id/usb-box\nLPT2=/dev/parport7\n");
  EXPECT_EQ(DevicePathFor("COM5"), "/dev/serial/by-id/usb-box");
  EXPECT_EQ(DevicePathFor("com5"), "/dev/serial/by-id/usb-box");
  EXPECT_EQ(DevicePathFor("LPT2"), "/dev/parport7");
  EXPECT_EQ(DevicePathFor("COM6"), "/dev/ttyS5");
  setenv("ZQBREL_COM5", "/dev/ttyACM0", 1);
  EXPECT_EQ(DevicePathFor("COM5"), "/dev/ttyACM0");

  // A relative $XDG_CONFIG_HOME is not used; the home folder's file is.
  setenv("XDG_CONFIG_HOME", "relative", 1);
  setenv("HOME", dir_.c_str(), 1);
  EXPECT_EQ(PortsFilePath(), dir_ + "/.config/kelvora/ports");
}

TEST_F(PortsFileOnDisk, APortMappedInTheFileOpensEndToEnd) {
  drvtest::PtyBox pty;
  ASSERT_TRUE(pty.ok());
  pty.box.SetInputs(0x0005);
  Write("COM5=" + pty.SlavePath() + "\n");

  TBrelRecord rec{};
  rec.PollInterval = 10;
  ASSERT_EQ(zqOpenInterface(&rec, "COM5"), 0x05);
  EXPECT_EQ(zqSetMotor(&rec, 2, 1), 0x05);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (pty.box.MotorWord() != 0x0004 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(pty.box.MotorWord(), 0x0004);
  EXPECT_EQ(zqCloseInterface(&rec), 1);

  // The environment still wins over the file.
  setenv("ZQBREL_COM5", "/nonexistent/kelvora-tty", 1);
  TBrelRecord other{};
  EXPECT_EQ(zqOpenInterface(&other, "COM5"), 0x1FFFF);
}

}  // namespace
}  // namespace kelvora::drvos
