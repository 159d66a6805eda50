// SPDX-License-Identifier: MIT
// Why an open failed, through the shared library as a program sees it: the reason in
// errno, and one trace line naming the device and the system's text.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "driver/zqBrel20.h"
#include "pty_box.h"
#include "tests/support/scoped_env.h"

namespace kelvora::drvtest {
namespace {

using kelvora::testing::ScopedEnv;

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Opens COM7 on device with the trace on; the errno the open left, and the record closed.
int FailedOpenOn(const std::string& device, const std::string& trace) {
  ScopedEnv::Set("ZQBREL_COM7", device.c_str());
  ScopedEnv::Set("ZQBREL_TRACE", trace.c_str());
  TBrelRecord record{};
  errno = 0;
  const int32_t result = zqOpenInterface(&record, "COM7");
  const int error = errno;
  EXPECT_EQ(result, static_cast<int32_t>(ZQ_ERROR)) << device;
  EXPECT_EQ(record.Handle, 0u);
  EXPECT_EQ(record.TimerId, 0u);
  return error;
}

class OpenFailure : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(mkdtemp(dir_), nullptr); }
  void TearDown() override {
    std::string cmd = std::string("rm -rf '") + dir_ + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  std::string Path(const char* name) const { return std::string(dir_) + "/" + name; }

  ScopedEnv env_{"ZQBREL_COM1", "ZQBREL_COM7", "ZQBREL_TRACE"};
  char dir_[32] = "/tmp/zqbrel_open_XXXXXX";
};

TEST_F(OpenFailure, EveryReasonReachesErrnoAndTheTrace) {
  const std::string trace = Path("trace");
  // A terminal nobody answers on, and one held by another open.
  const int silent = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(silent, 0);
  ASSERT_EQ(grantpt(silent), 0);
  ASSERT_EQ(unlockpt(silent), 0);
  termios raw{};
  tcgetattr(silent, &raw);
  cfmakeraw(&raw);
  tcsetattr(silent, TCSANOW, &raw);
  char silentName[64];
  ASSERT_EQ(ptsname_r(silent, silentName, sizeof silentName), 0);
  PtyBox held;
  ASSERT_TRUE(held.ok());
  held.MapAs("COM1");
  TBrelRecord holder{};
  ASSERT_NE(zqOpenInterface(&holder, "COM1"), static_cast<int32_t>(ZQ_ERROR));
  std::ofstream(Path("plain")) << "no terminal";

  struct Case {
    std::string device;
    int error;
    std::string text;  // the trace's error text
  } cases[] = {
      {Path("none"), ENOENT, std::strerror(ENOENT)},
      {held.SlavePath(), EBUSY, std::strerror(EBUSY)},
      {Path("plain"), ENOTTY, std::strerror(ENOTTY)},
      {silentName, ETIMEDOUT, "no answer from the box"},
  };
  for (const Case& c : cases) EXPECT_EQ(FailedOpenOn(c.device, trace), c.error) << c.device;
  zqCloseInterface(&holder);
  close(silent);

  std::istringstream lines(Slurp(trace));
  std::string line;
  for (const Case& c : cases) {
    // The silent box's exchange is traced too: the failure line follows it.
    while (std::getline(lines, line) && line.rfind("port=COM7 device=", 0) != 0) {
    }
    EXPECT_EQ(line, "port=COM7 device=" + c.device + " open=failed error=" + c.text);
  }
}

// Permission is the one reason root never meets: the open then runs as nobody, in a
// child, against a device only its owner may open.
TEST_F(OpenFailure, APortThatMayNotBeOpenedSaysSo) {
  const std::string device = Path("device");
  std::ofstream(device) << "";
  ASSERT_EQ(chmod(device.c_str(), 0600), 0);
  ASSERT_EQ(chmod(dir_, 0755), 0);
  std::function<int()> open = [&] { return FailedOpenOn(device, Path("trace")); };
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(device.c_str(), 0), 0);
    EXPECT_EQ(open(), EACCES);
  } else {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0) _exit(2);
      _exit(open() == EACCES ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not become nobody";
  }
  // The trace could not be written by nobody in the root-owned folder: only the open
  // itself is checked then.
  if (geteuid() != 0) {
    EXPECT_EQ(Slurp(Path("trace")),
              "port=COM7 device=" + device + " open=failed error=" + std::strerror(EACCES) + "\n");
  }
}

}  // namespace
}  // namespace kelvora::drvtest
