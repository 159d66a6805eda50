// The stand-in's service manager: handles, start and stop results, devices.
#include <gtest/gtest.h>

#include "portdriver/service.h"

namespace kelvora::portdriver {
namespace {

TEST(ServiceManager, StepsCloseEveryHandleWhateverTheOutcome) {
  ServiceManager m;
  m.Install("WinRT", false);
  EXPECT_TRUE(StartServiceByName(m, "WinRT"));
  EXPECT_FALSE(StartServiceByName(m, "WinRT"));
  EXPECT_TRUE(StopServiceByName(m, "WinRT"));
  EXPECT_FALSE(StopServiceByName(m, "WinRT"));
  EXPECT_FALSE(StartServiceByName(m, "Other"));
  EXPECT_FALSE(StopServiceByName(m, nullptr));
  EXPECT_EQ(m.OpenHandles(), 0u);
}

TEST(ServiceManager, ServiceHandlesNeedAnOpenManager) {
  ServiceManager m;
  m.Install("WinRT", true);
  EXPECT_EQ(m.OpenService(12345, "WinRT"), 0u);
  const uint32_t scm = m.OpenManager();
  ASSERT_NE(scm, 0u);
  const uint32_t svc = m.OpenService(scm, "WinRT");
  ASSERT_NE(svc, 0u);
  EXPECT_EQ(m.OpenHandles(), 2u);
  EXPECT_TRUE(m.CloseServiceHandle(scm));
  EXPECT_TRUE(m.CloseServiceHandle(svc));
  EXPECT_FALSE(m.CloseServiceHandle(svc));
}

TEST(ServiceManager, DevicesNeedARunningServiceAndHoldItRunning) {
  ServiceManager m;
  m.Install("WinRT", false);
  EXPECT_FALSE(m.AcquireDevice("WinRT"));
  ASSERT_TRUE(StartServiceByName(m, "WinRT"));
  ASSERT_TRUE(m.AcquireDevice("WinRT"));
  EXPECT_FALSE(StopServiceByName(m, "WinRT"));
  m.ReleaseDevice("WinRT");
  EXPECT_TRUE(StopServiceByName(m, "WinRT"));
}

}  // namespace
}  // namespace kelvora::portdriver
