// SPDX-License-Identifier: MIT
// The POSIX layer's parallel side without parallel hardware: platform choice, register
// addresses that are never touched, devices that are no ppdev port, the port-driver
// device and the service. Nothing here may leave a descriptor open.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "driver/os/posix_os.h"
#include "driver/zqBrel20.h"

namespace kelvora::drvos {
namespace {

int OpenDescriptors() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

class PosixParallelTest : public ::testing::Test {
 protected:
  PosixOs os;
  std::string plainFile;
  int fdsBefore = 0;

  void SetUp() override {
    char path[] = "/tmp/kelvora_not_a_port_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    plainFile = path;
    // No test may reach a real port of the machine it runs on.
    setenv("ZQBREL_LPT1", "/nonexistent/parport0", 1);
    setenv("ZQBREL_LPT2", plainFile.c_str(), 1);
    setenv("ZQBREL_LPT3", "/nonexistent/parport2", 1);
    unsetenv("ZQBREL_PLATFORM");
    fdsBefore = OpenDescriptors();
  }
  void TearDown() override {
    EXPECT_EQ(OpenDescriptors(), fdsBefore);
    unlink(plainFile.c_str());
    unsetenv("ZQBREL_PLATFORM");
  }
};

TEST_F(PosixParallelTest, PlatformFamilyFollowsTheEnvironmentAndDefaultsToDirect) {
  EXPECT_EQ(os.Family(), PlatformFamily::kDirect);
  setenv("ZQBREL_PLATFORM", "nt", 1);
  EXPECT_EQ(os.Family(), PlatformFamily::kPortDriver);
  setenv("ZQBREL_PLATFORM", "NT", 1);
  EXPECT_EQ(os.Family(), PlatformFamily::kPortDriver);
  setenv("ZQBREL_PLATFORM", "9x", 1);
  EXPECT_EQ(os.Family(), PlatformFamily::kDirect);
  setenv("ZQBREL_PLATFORM", "win2000", 1);
  EXPECT_EQ(os.Family(), PlatformFamily::kDirect);
}

TEST_F(PosixParallelTest, NoRegisterOrDeviceIsReachedWithoutAPort) {
  // Addresses other than the parallel registers are never touched; a base without a
  // claimed port (or whose device is a plain file) reads all ones.
  for (uint32_t port :
       {0u, 1u, 0x80u, 0x377u, 0x378u, 0x37Au, 0x3F8u, 0x3BEu, 0xFFFFFFFFu, 0x3BDu, 0x279u}) {
    os.PortOut16(port, 0x30);
    EXPECT_EQ(os.PortIn16(port), 0xFFFF) << std::hex << port;
  }
  for (const char* name : {"LPT2", "LPT3", "LPT", "LPTX", "\\\\.\\WRTdev0", "\\\\.\\WRTdev1"}) {
    EXPECT_EQ(os.OpenDevice(name), kNoHandle) << name;  // plain file, missing, no number
  }
  EXPECT_FALSE(os.DeviceIoControl(0x1234, 0x80002005, nullptr, 0, nullptr, 0));
  // The failed opens hold nothing: the service can still be stopped.
  ASSERT_TRUE(os.StopService("WinRT"));
  EXPECT_TRUE(os.StartService("WinRT"));
}

TEST_F(PosixParallelTest, ServiceStartAndStop) {
  EXPECT_FALSE(os.StartService("WinRT"));  // installed running
  EXPECT_TRUE(os.StopService("WinRT"));
  EXPECT_FALSE(os.StopService("WinRT"));
  EXPECT_TRUE(os.StartService("WinRT"));
  EXPECT_FALSE(os.StartService("NoSuchDriver"));
  EXPECT_FALSE(os.StopService("NoSuchDriver"));
}

TEST_F(PosixParallelTest, ExportsFailCleanlyWithoutAPort) {
  TBrelRecord rec{};
  EXPECT_EQ(zqOpenInterface(&rec, "LPT2"), static_cast<int32_t>(ZQ_ERROR));
  EXPECT_EQ(rec.Handle, 0u);
  // The bare name on a preset base whose port is out of reach (missing, not a ppdev
  // port): no open, no timer, nothing claimed (the descriptor count is checked below).
  for (uint32_t base : {0u, 0x378u, 0x278u, 0x3BCu}) {
    rec = TBrelRecord{};
    rec.PortAddr = base;
    EXPECT_EQ(zqOpenInterface(&rec, "LPT"), static_cast<int32_t>(ZQ_ERROR)) << base;
    EXPECT_EQ(rec.Handle, 0u);
    EXPECT_EQ(rec.TimerId, 0u);
    EXPECT_FALSE(os.PortReachable(base));
  }
  setenv("ZQBREL_PLATFORM", "nt", 1);
  rec = TBrelRecord{};
  EXPECT_EQ(zqOpenInterface(&rec, "LPT3"), static_cast<int32_t>(ZQ_ERROR));
  EXPECT_EQ(rec.PortAddr, 1u);
  EXPECT_EQ(rec.Handle, 0u);
  EXPECT_EQ(zqStopDriver(), 0);
  EXPECT_EQ(zqStopDriver(), static_cast<int32_t>(ZQ_ERROR));
  EXPECT_EQ(zqStartDriver(), 0);
}

}  // namespace
}  // namespace kelvora::drvos
