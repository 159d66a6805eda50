// SPDX-License-Identifier: MIT
// kelvora-play end to end: the real driver library, its timer thread and a real
// pseudo-terminal against the kelvora-sim process. Real time, tolerant assertions.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"

namespace {

using kelvora::testing::Child;

class KelvoraPlayEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_ = std::make_unique<Child>(
        std::vector<std::string>{KELVORA_SIM_PATH, "--no-status", "-p", "3,3,3,3"});
    ASSERT_GT(sim_->Pid(), 0);
    // "ZQBREL_COM1=<pty>": the children spawned from now on find the box there.
    const std::string mapping = sim_->LineAfter("ZQBREL_COM1=", 5000);
    ASSERT_NE(mapping, "(none)");
    setenv("ZQBREL_COM1", mapping.substr(mapping.find('=') + 1).c_str(), 1);

    char tmpl[] = "/tmp/kelvora-play-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    script_ = dir_ + "/E2E.RB3";
    std::ofstream(script_, std::ios::binary)
        << "     0     0     0     0\r\n    12     8     6     1\r\n";
  }
  void TearDown() override {
    unsetenv("ZQBREL_COM1");
    sim_->Send("q");
    sim_->Wait(5000);
    std::remove(script_.c_str());
    rmdir(dir_.c_str());
  }
  std::string Positions() {
    const size_t from = sim_->Output().size();
    sim_->Send("p");
    return sim_->LineAfter("positions:", 3000, from);
  }

  std::unique_ptr<Child> sim_;
  std::string dir_, script_;
};

TEST_F(KelvoraPlayEndToEnd, HomesAndPlaysTheScriptOncePrintingEachLine) {
  Child play({KELVORA_PLAY_PATH, script_, "--port", "COM1", "--model", "Rob3"});
  ASSERT_EQ(play.Wait(60000), 0) << play.Output();
  const std::string& out = play.Output();
  const size_t home = out.find("HOME\n");
  const size_t l1 = out.find("Zeile 1:      0     0     0     0\n");
  const size_t l2 = out.find("Zeile 2:     12     8     6     1\n");
  const size_t end = out.find("Ende\n");
  ASSERT_NE(end, std::string::npos) << out;
  EXPECT_LT(home, l1) << out;
  EXPECT_LT(l1, l2) << out;
  EXPECT_LT(l2, end) << out;
}

// Ctrl+C, SIGTERM and a closing terminal's SIGHUP share one handler; the hang-up is the
// one a user does not see coming.
TEST_F(KelvoraPlayEndToEnd, AHangUpStopsARepeatedRunWithTheMotorsOff) {
  Child play({KELVORA_PLAY_PATH, script_, "--repeat"});
  // Into the second pass, so the run is well under way.
  ASSERT_TRUE(play.WaitFor("Zeile 2:", 60000)) << play.Output();
  ASSERT_TRUE(play.WaitFor("Zeile 1:", 60000, play.Output().find("Zeile 2:"))) << play.Output();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  kill(play.Pid(), SIGHUP);
  EXPECT_EQ(play.Wait(10000), 128 + SIGHUP) << play.Output();
  EXPECT_NE(play.Output().find("HALT"), std::string::npos);
  EXPECT_NE(play.Output().find("Abgebrochen"), std::string::npos);

  // The box got the motor word 0 before the port closed: nothing moves any more.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const std::string before = Positions();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_NE(before, "(none)");
  EXPECT_EQ(Positions(), before);
}

TEST_F(KelvoraPlayEndToEnd, AHomeRunThatCannotReachASwitchPlaysNothing) {
  // The column's end switch never closes: it drives into its stop, where the stall guard
  // switches it off. Nothing is played from a position nobody knows.
  sim_->Send("e1");
  Child play({KELVORA_PLAY_PATH, script_, "--port", "COM1", "--model", "Rob3"});
  EXPECT_EQ(play.Wait(60000), 1) << play.Output();
  EXPECT_NE(play.Output().find("kelvora-play: Achse Säule bewegt sich nicht"), std::string::npos)
      << play.Output();
  EXPECT_EQ(play.Output().find("Zeile 1:"), std::string::npos) << play.Output();
}

TEST_F(KelvoraPlayEndToEnd, AMissingFileOrPortFailsWithTheProgramsText) {
  Child missing({KELVORA_PLAY_PATH, dir_ + "/none.RB3"});
  EXPECT_EQ(missing.Wait(10000), 1);
  EXPECT_NE(missing.Output().find("Datei " + dir_ + "/none.RB3 kann nicht geöffnet werden."),
            std::string::npos)
      << missing.Output();

  setenv("ZQBREL_COM7", "/nonexistent", 1);
  Child badPort({KELVORA_PLAY_PATH, script_, "--port", "COM7"});
  unsetenv("ZQBREL_COM7");
  EXPECT_EQ(badPort.Wait(10000), 1);
  EXPECT_NE(badPort.Output().find("kelvora-play: Inpterfaceproblem mit : COM7\n"
                                  "kelvora-play: Gerät /nonexistent: nicht vorhanden."),
            std::string::npos)
      << badPort.Output();
}

}  // namespace
