// SPDX-License-Identifier: MIT
// End to end on Windows, under Wine: zqBrel20.dll with its Win32 layer and real timer,
// loaded by a Windows program (zqbrel_client.exe), against a box on a pseudo-terminal
// that Wine's COM1 reaches through a link (the stage maps COM1 to $KELVORA_WINE_COM1
// in Wine's registry). Real time, tolerant assertions. The same session through
// libzqBrel20.so and through zqBrel20.dll must put the same bytes on the wire.
//
// KELVORA_WINDOWS_BIN names the folder of the Windows programs, KELVORA_WINE_LOADER
// Wine's loader for them.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/driver/pty_box.h"
#include "tests/support/child_process.h"

namespace kelvora::wintest {
namespace {

using namespace std::chrono_literals;
using drvtest::PtyBox;
using testing::Child;
using Clock = Child::Clock;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// Points the link Wine's COM1 goes through at target, in one step, as udev moves
// /dev/serial/by-id/... when an adapter comes and goes.
bool PointCom1At(const std::string& target) {
  const std::string link = Env("KELVORA_WINE_COM1");
  const std::string fresh = link + ".new";
  unlink(fresh.c_str());
  return symlink(target.c_str(), fresh.c_str()) == 0 && rename(fresh.c_str(), link.c_str()) == 0;
}

bool Is32Bit() {
  return Env("KELVORA_WINE_LOADER").find("wine64") == std::string::npos;
}

// The Windows client with the session's steps; Wait() gives its exit status.
std::unique_ptr<Child> WindowsClient(std::vector<std::string> steps) {
  std::vector<std::string> args{KELVORA_WINE_RUN, Env("KELVORA_WINE_LOADER"),
                                Env("KELVORA_WINDOWS_BIN") + "/zqbrel_client.exe"};
  args.insert(args.end(), steps.begin(), steps.end());
  return std::make_unique<Child>(args);
}

std::unique_ptr<Child> NativeClient(std::vector<std::string> steps) {
  std::vector<std::string> args{ZQBREL_CLIENT_PATH, ZQBREL_LIB_PATH};
  args.insert(args.end(), steps.begin(), steps.end());
  return std::make_unique<Child>(args);
}

// Wine itself takes a while to start a program on a busy machine.
constexpr int kRunMs = 60000;

template <typename F>
bool Within(std::chrono::milliseconds limit, F f) {
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    if (f()) return true;
    std::this_thread::sleep_for(5ms);
  }
  return f();
}

size_t ExchangesAfter(const std::vector<Clock::time_point>& times, Clock::time_point t) {
  return static_cast<size_t>(
      std::count_if(times.begin(), times.end(), [t](auto x) { return x > t; }));
}

class WineDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("KELVORA_WINE_COM1").empty()) << "KELVORA_WINE_COM1 is not set";
    ASSERT_FALSE(Env("KELVORA_WINDOWS_BIN").empty()) << "KELVORA_WINDOWS_BIN is not set";
    ASSERT_TRUE(pty.ok());
    ASSERT_TRUE(PointCom1At(pty.SlavePath()));
  }

  PtyBox pty;
};

// The DLL as the loader sees it: the export table, binding by ordinal, and on 32-bit
// Windows the callee removing the arguments of every function.
TEST_F(WineDriverTest, ExportTableOrdinalsAndCallingConvention) {
  std::vector<std::string> steps{"exports", "version"};
  if (Is32Bit()) steps.push_back("stack");
  auto byName = WindowsClient(steps);
  ASSERT_EQ(byName->Wait(kRunMs), 0) << byName->Output();
  EXPECT_NE(byName->Output().find(
                "exports dll=zqBrel20.dll base=5 slots=98 filled=8 names=zqCloseInterface@10,"
                "zqGetInput@25,zqGetVersion@12,zqOpenInterface@5,zqSetLamp@46,zqSetMotor@44,"
                "zqStartDriver@100,zqStopDriver@102\n"),
            std::string::npos)
      << byName->Output();
  EXPECT_NE(byName->Output().find("version=201\n"), std::string::npos);
  if (Is32Bit()) {
    // A closed record everywhere: each call returns at once, without any I/O.
    EXPECT_NE(byName->Output().find(
                  "stack zqOpenInterface=0/131071 zqCloseInterface=0/0 zqGetVersion=0/201 "
                  "zqGetInput=0/131071 zqSetMotor=0/131071 zqSetLamp=0/131071 "
                  "zqStartDriver=0/131071 zqStopDriver=0/131071\n"),
              std::string::npos)
        << byName->Output();
  }

  pty.box.SetInputs(0x0005);
  auto byOrdinal = WindowsClient({"bind", "ordinal", "version", "open COM1", "close"});
  ASSERT_EQ(byOrdinal->Wait(kRunMs), 0) << byOrdinal->Output();
  EXPECT_NE(byOrdinal->Output().find("version=201\nopen=5\nclose=1\n"), std::string::npos)
      << byOrdinal->Output();
}

TEST_F(WineDriverTest, OpenTicksSendsMotorWordCountsAndCloses) {
  pty.box.SetInputs(0x0003);
  auto client = WindowsClient({"open COM1", "wait 600", "motor 1 2", "motor 4 1", "set Counters0 0",
                               "wait 400", "record", "close"});
  ASSERT_TRUE(client->WaitFor("open=", kRunMs)) << client->Output();
  EXPECT_TRUE(client->WaitFor("open=3\n", 1000)) << client->Output();
  // Input 1 goes 0, 1, 0, 1 while the counter runs.
  ASSERT_TRUE(client->WaitFor("motor=3\nmotor=3\n", 5000)) << client->Output();
  for (int i = 0; i < 4; ++i) {
    pty.box.SetInput(1, i % 2 != 0);
    std::this_thread::sleep_for(60ms);
  }
  ASSERT_TRUE(client->WaitFor("close=", 5000)) << client->Output();
  const auto closedAt = Clock::now();
  EXPECT_EQ(client->Wait(kRunMs), 0);
  const std::string& out = client->Output();
  EXPECT_NE(out.find("close=1\n"), std::string::npos) << out;
  EXPECT_NE(out.find("PortAddr=0 LptDelay=1 AnalogScan=1 InputCount=8 TimerId=set "
                     "PollInterval=10 AnalogPhase=0 MotorWord=66 InputWord=3"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Counters=4,0,"), std::string::npos) << out;

  const auto bytes = pty.box.Received();
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xC1);  // the first exchange sends all motors off
  EXPECT_EQ(bytes[1], 0x00);
  EXPECT_EQ(pty.box.MotorWord(), 0x42);
  // The multimedia timer's period, over the first 600 ms.
  const auto times = pty.ExchangeTimes();
  ASSERT_GE(times.size(), 30u);
  std::vector<double> gaps;
  for (size_t i = 2; i < 40 && i < times.size(); ++i)
    gaps.push_back(std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count());
  std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
  EXPECT_NEAR(gaps[gaps.size() / 2], 10.0, 3.0);
  // The close let go of the port, and no tick came after it.
  ASSERT_TRUE(Within(2000ms, [&] { return !pty.Hangups().empty(); }));
  EXPECT_EQ(ExchangesAfter(times, std::min(closedAt, pty.Hangups().front())), 0u);
}

TEST_F(WineDriverTest, MissingBusyAndSilentPortsFailOpen) {
  ASSERT_TRUE(PointCom1At("/nonexistent/kelvora-tty"));
  auto missing = WindowsClient({"open COM1", "record"});
  ASSERT_EQ(missing->Wait(kRunMs), 0);
  EXPECT_NE(missing->Output().find("open=131071\nrecord Handle=0 "), std::string::npos)
      << missing->Output();

  ASSERT_TRUE(PointCom1At(pty.SlavePath()));
  auto busy = WindowsClient({"open COM1", "second COM1", "close", "open COM1", "close"});
  ASSERT_EQ(busy->Wait(kRunMs), 0);
  // Share mode 0: the second open is refused; the first close frees the port again.
  EXPECT_NE(busy->Output().find("open=0\nsecond=131071\nclose=1\nopen=0\nclose=1\n"),
            std::string::npos)
      << busy->Output();

  pty.box.SetFault(sim::BoxFault::kSilent);
  const size_t before = pty.Exchanges();
  const size_t hangups = pty.Hangups().size();
  auto silent = WindowsClient({"open COM1", "record", "wait 100"});
  ASSERT_TRUE(silent->WaitFor("record", kRunMs)) << silent->Output();
  EXPECT_EQ(silent->Wait(kRunMs), 0);
  EXPECT_NE(silent->Output().find("open=131071\nrecord Handle=0 "), std::string::npos)
      << silent->Output();
  ASSERT_TRUE(Within(2000ms, [&] { return pty.Hangups().size() > hangups; }));
  // One command, and the port let go of after its read gave up (34 ms).
  EXPECT_EQ(pty.Exchanges(), before + 1);
  const auto held = pty.Hangups().back() - pty.ExchangeTimes().back();
  EXPECT_GE(held, 25ms);
  EXPECT_LT(held, 1000ms);
}

// What a fault leaves on the line (the rest of a split reply, a late reply, a stray
// byte) is purged before the next command, and after a failed reply the line is read
// until it is quiet: once the fault has ended, every reply is read right.
TEST_F(WineDriverTest, LeftoverBytesOfAFaultNeverShiftLaterReplies) {
  pty.box.SetInputs(0x8005);
  auto client = WindowsClient(
      {"open COM1 inputs=16", "wait 1800", "waitinput 1234", "wait 200", "record", "close"});
  ASSERT_TRUE(client->WaitFor("open=5\n", kRunMs)) << client->Output();
  for (auto fault : {sim::BoxFault::kSplit, sim::BoxFault::kLate, sim::BoxFault::kStray}) {
    pty.box.SetFault(fault);
    std::this_thread::sleep_for(150ms);
    pty.box.SetFault(sim::BoxFault::kNone);
    std::this_thread::sleep_for(150ms);
  }
  pty.box.SetInputs(0x1234);
  ASSERT_EQ(client->Wait(kRunMs), 0) << client->Output();
  EXPECT_NE(client->Output().find("waitinput=ok 1234\n"), std::string::npos) << client->Output();
  // Still right 200 ms later: no leftover byte shifted a reply since.
  EXPECT_NE(client->Output().find("InputWord=4660 "), std::string::npos) << client->Output();
}

// The adapter is pulled (the device fails and its name goes) and plugged back in under
// the same name: the ticks go on with the error value, the port is opened again, and
// the box hears motors off until the program commands again.
TEST_F(WineDriverTest, ASilentThenPulledAdapterComesBackWithTheMotorsOff) {
  pty.box.SetInputs(0x0003);
  auto client =
      WindowsClient({"open COM1", "motor 1 2", "waitinput 1FFFF", "waitinput 0", "waitinput 1FFFF",
                     "waitinput 5 5000", "record", "motor 1 1", "wait 200", "close"});
  ASSERT_TRUE(client->WaitFor("motor=3\n", kRunMs)) << client->Output();
  ASSERT_TRUE(Within(2000ms, [&] { return pty.box.MotorWord() == 0x0002; }));
  pty.box.SetFault(sim::BoxFault::kSilent);
  ASSERT_TRUE(client->WaitFor("waitinput=ok 1FFFF\n", 5000)) << client->Output();
  pty.box.SetFault(sim::BoxFault::kNone);
  pty.box.SetInputs(0);
  ASSERT_TRUE(client->WaitFor("waitinput=ok 0\n", 5000)) << client->Output();

  ASSERT_TRUE(PointCom1At("/nonexistent/kelvora-tty"));
  pty.Vanish();
  ASSERT_TRUE(client->WaitFor("waitinput=ok 1FFFF\n", 5000, client->Output().find("ok 0")))
      << client->Output();
  std::this_thread::sleep_for(300ms);
  PtyBox back;
  ASSERT_TRUE(back.ok());
  back.box.SetInputs(0x0005);
  ASSERT_TRUE(PointCom1At(back.SlavePath()));
  ASSERT_TRUE(client->WaitFor("close=", 10000)) << client->Output();
  EXPECT_EQ(client->Wait(kRunMs), 0);
  const std::string& out = client->Output();
  EXPECT_NE(out.find("waitinput=ok 5\nrecord Handle=set "), std::string::npos) << out;
  EXPECT_NE(out.find("MotorWord=0 InputWord=5"), std::string::npos) << out;
  EXPECT_NE(out.find("close=1\n"), std::string::npos) << out;
  // All off until the program's next command, then that command.
  const auto words = back.box.MotorWords();
  ASSERT_FALSE(words.empty());
  EXPECT_EQ(words.front(), 0);
  EXPECT_EQ(words.back(), 0x0001);
}

// ZQBREL_TRACE works on Windows too: one parsable line per exchange, failures included.
TEST_F(WineDriverTest, TraceWritesOneLinePerExchange) {
  char dir[] = "/tmp/kelvora_wintrace_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/wire.log";
  std::string windowsPath = "Z:" + path;
  std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
  setenv("ZQBREL_TRACE", windowsPath.c_str(), 1);
  pty.box.SetInputs(0x0005);
  auto client = WindowsClient({"open COM1", "wait 300", "waitinput 1FFFF", "waitinput 5", "close"});
  unsetenv("ZQBREL_TRACE");
  ASSERT_TRUE(client->WaitFor("open=5\n", kRunMs)) << client->Output();
  std::this_thread::sleep_for(150ms);
  pty.box.SetFault(sim::BoxFault::kSilent);
  ASSERT_TRUE(client->WaitFor("waitinput=ok 1FFFF", 5000)) << client->Output();
  pty.box.SetFault(sim::BoxFault::kNone);
  ASSERT_EQ(client->Wait(kRunMs), 0) << client->Output();

  const std::regex line(
      R"(t=\d+\.\d{6} port=COM1 out=(C100|-) in=(05|-) want=1 took_ms=\d+\.\d{3} )"
      R"(timeouts=\d+ reopens=0 result=(ok|timeout))");
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string text; std::getline(in, text);) {
    if (!text.empty() && text.back() == '\r') text.pop_back();  // a Windows text file
    lines.push_back(text);
  }
  unlink(path.c_str());
  rmdir(dir);
  ASSERT_EQ(lines.size(), pty.Exchanges());
  int timeouts = 0;
  for (const std::string& text : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, line)) << text;
    timeouts += m[3] == "timeout";
  }
  EXPECT_GE(timeouts, 1);
}

// A program that frees the library, or ends, with its record still open: the library's
// detach notification closes the port of the record opened last.
TEST_F(WineDriverTest, UnloadAndProcessEndCloseTheRecordTheProgramLeftOpen) {
  auto unload = WindowsClient({"open COM1 period=50", "wait 200", "unload"});
  ASSERT_EQ(unload->Wait(kRunMs), 0) << unload->Output();
  const auto unloading = unload->TimeOf("unloading\n");
  const auto unloaded = unload->TimeOf("unloaded\n");
  ASSERT_FALSE(pty.Hangups().empty());
  const auto times = pty.ExchangeTimes();
  // Let go of during FreeLibrary, while the process ran on for another 300 ms.
  EXPECT_GT(pty.Hangups().front(), unloading - 50ms);
  EXPECT_LT(pty.Hangups().front(), unloaded + 150ms);
  // The ticks went on through the wait of four periods (200 ms), then stopped.
  EXPECT_GE(ExchangesAfter(times, unloading), 2u);
  EXPECT_EQ(ExchangesAfter(times, pty.Hangups().front()), 0u);

  // At the end of the process Windows stops the timer's thread before the library
  // hears of it: the port is let go of without a further tick.
  const size_t before = pty.Hangups().size();
  auto exiting = WindowsClient({"open COM1 period=50", "wait 200", "exit"});
  ASSERT_EQ(exiting->Wait(kRunMs), 0) << exiting->Output();
  ASSERT_TRUE(Within(2000ms, [&] { return pty.Hangups().size() > before; }));
  EXPECT_EQ(ExchangesAfter(pty.ExchangeTimes(), pty.Hangups().back()), 0u);
}

// Under Wine, as on any NT-family Windows without the port driver installed, the
// parallel box and the driver's service are not there: every call fails cleanly.
TEST_F(WineDriverTest, ParallelPortsAndThePortDriverServiceFailCleanly) {
  auto client = WindowsClient({"open LPT1", "record", "open LPT", "start", "stop", "close"});
  ASSERT_EQ(client->Wait(kRunMs), 0) << client->Output();
  const std::string& out = client->Output();
  EXPECT_NE(out.find("open=131071\nrecord Handle=0 PortAddr=1 LptDelay=1 AnalogScan=2048 "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("open=131071\nstart=131071\nstop=131071\nclose=0\n"), std::string::npos)
      << out;
}

// The same session, step for step, through libzqBrel20.so and through zqBrel20.dll,
// against the same scripted box: every reply toggles input 1 (so Counters[0] counts
// the ticks and the session's steps come at fixed ticks) and carries a pattern of the
// tick's number. The bytes on the wire must be the same, tick for tick.
TEST(DifferentialTest, SoAndDllPutTheSameBytesOnTheWire) {
  const std::vector<std::string> session{"open COM1 inputs=16 period=50",
                                         "tick 2",
                                         "motor 1 2",
                                         "tick 4",
                                         "motor 4 1",
                                         "tick 5",
                                         "lamp 9 0",
                                         "tick 6",
                                         "motor 8 2",
                                         "tick 8",
                                         "set AnalogPhase 1",
                                         "tick 12",
                                         "set AnalogPhase 0",
                                         "tick 13",
                                         "motor 0 0",
                                         "tick 14",
                                         "record",
                                         "close"};
  struct Run {
    std::vector<uint8_t> wire;
    std::string output;
    bool late = false;
  };
  auto run = [&](bool windows) {
    PtyBox pty;
    EXPECT_TRUE(pty.ok());
    int k = 0;
    pty.box.SetInputSource([&k] {
      const int n = k++;
      return static_cast<uint16_t>((n & 1) | ((n * 0x2C) & 0xFE) | ((n * 0x0305) & 0xFF00));
    });
    pty.box.SetAnalog(0, 0x0123);
    pty.box.SetAnalog(1, 0x0987);  // above 2048: read as 2048
    std::unique_ptr<Child> client;
    if (windows) {
      EXPECT_TRUE(PointCom1At(pty.SlavePath()));
      client = WindowsClient(session);
    } else {
      pty.MapAs("COM1");
      client = NativeClient(session);
    }
    EXPECT_EQ(client->Wait(kRunMs), 0) << client->Output();
    Within(1000ms, [&] { return !pty.Hangups().empty(); });
    Run r{pty.box.Received(), client->Output(), false};
    r.late = r.output.find("late") != std::string::npos;
    return r;
  };
  // A client the machine held up for a whole tick played a different session; that
  // run proves nothing and is done again.
  Run so, dll;
  for (int attempt = 0; attempt < 3; ++attempt) {
    so = run(false);
    dll = run(true);
    if (!so.late && !dll.late) break;
  }
  ASSERT_FALSE(so.late) << so.output;
  ASSERT_FALSE(dll.late) << dll.output;
  EXPECT_EQ(so.output, dll.output);
  EXPECT_NE(so.output.find("AnalogX=291 AnalogY=2048"), std::string::npos) << so.output;
  ASSERT_GE(so.wire.size(), 2u + 14 * 3);
  EXPECT_EQ(so.wire, dll.wire);
}

}  // namespace
}  // namespace kelvora::wintest

namespace kelvora::wintest {
namespace {

// kelvora-play.exe under Wine against the kelvora-sim process, its box on the link that
// Wine's COM1 goes through.
// A Windows program's text lines end in CR LF; compared as lines, without the CR.
std::string Lines(const Child& child) {
  std::string text = child.Output();
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

class WinePlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("KELVORA_WINE_COM1").empty()) << "KELVORA_WINE_COM1 is not set";
    unlink(Env("KELVORA_WINE_COM1").c_str());
    sim_ = std::make_unique<Child>(std::vector<std::string>{
        KELVORA_SIM_PATH, "--no-status", "-p", "3,3,3,3", "--link", Env("KELVORA_WINE_COM1")});
    ASSERT_GT(sim_->Pid(), 0);
    ASSERT_NE(sim_->LineAfter("ZQBREL_COM1=", 5000), "(none)") << sim_->Output();
    char tmpl[] = "/tmp/kelvora-winplay-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::ofstream(dir_ + "/E2E.RB3", std::ios::binary)
        << "     0     0     0     0\r\n    12     8     6     1\r\n";
  }
  void TearDown() override {
    sim_->Send("q");
    sim_->Wait(5000);
    std::remove((dir_ + "/E2E.RB3").c_str());
    rmdir(dir_.c_str());
  }
  // The script as Windows names it: Wine's drive Z: is the root of the file system.
  std::string Script(const std::string& name = "E2E.RB3") const {
    std::string path = "Z:" + dir_ + "/" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }
  std::unique_ptr<Child> Player(std::vector<std::string> args) {
    args.insert(args.begin(), {KELVORA_WINE_RUN, Env("KELVORA_WINE_LOADER"),
                               Env("KELVORA_WINDOWS_BIN") + "/kelvora-play.exe"});
    return std::make_unique<Child>(args);
  }
  std::string Positions() {
    const size_t from = sim_->Output().size();
    sim_->Send("p");
    return sim_->LineAfter("positions:", 3000, from);
  }

  std::unique_ptr<Child> sim_;
  std::string dir_;
};

TEST_F(WinePlayerTest, HomesAndPlaysTheScriptOncePrintingEachLine) {
  auto play = Player({Script(), "--port", "COM1", "--model", "Rob3"});
  ASSERT_EQ(play->Wait(kRunMs), 0) << play->Output();
  const std::string out = Lines(*play);
  const size_t home = out.find("HOME\n");
  const size_t l1 = out.find("Zeile 1:      0     0     0     0\n");
  const size_t l2 = out.find("Zeile 2:     12     8     6     1\n");
  const size_t end = out.find("Ende\n");
  ASSERT_NE(end, std::string::npos) << out;
  EXPECT_NE(out.find("Rob3 : Säulenroboter, COM1, "), std::string::npos) << out;
  EXPECT_LT(home, l1) << out;
  EXPECT_LT(l1, l2) << out;
  EXPECT_LT(l2, end) << out;
}

// Ctrl+C (Wine turns SIGINT into the console's Ctrl+C event) is HALT: the movement stops,
// the outputs go off, the interface closes, and the player ends with 128 + 2.
TEST_F(WinePlayerTest, CtrlCStopsARepeatedRunWithTheMotorsOff) {
  auto play = Player({Script(), "--repeat"});
  ASSERT_TRUE(play->WaitFor("Zeile 2:", kRunMs)) << play->Output();
  ASSERT_TRUE(play->WaitFor("Zeile 1:", kRunMs, play->Output().find("Zeile 2:"))) << play->Output();
  std::this_thread::sleep_for(300ms);
  kill(play->Pid(), SIGINT);
  EXPECT_EQ(play->Wait(20000), 130) << play->Output();
  EXPECT_NE(Lines(*play).find("HALT\n"), std::string::npos) << play->Output();
  EXPECT_NE(Lines(*play).find("Abgebrochen\n"), std::string::npos) << play->Output();
  std::this_thread::sleep_for(200ms);
  const std::string before = Positions();
  std::this_thread::sleep_for(400ms);
  EXPECT_NE(before, "(none)");
  EXPECT_EQ(Positions(), before);
}

TEST_F(WinePlayerTest, AMissingFileOrPortFailsWithTheProgramsText) {
  auto missing = Player({Script("none.RB3")});
  EXPECT_EQ(missing->Wait(kRunMs), 1);
  EXPECT_NE(missing->Output().find("Datei " + Script("none.RB3") + " kann nicht geöffnet werden."),
            std::string::npos)
      << missing->Output();

  auto badPort = Player({Script(), "--port", "COM7"});
  EXPECT_EQ(badPort->Wait(kRunMs), 1);
  EXPECT_NE(Lines(*badPort).find("Inpterfaceproblem mit : COM7\n"), std::string::npos)
      << badPort->Output();
  EXPECT_NE(badPort->Output().find("Gerät COM7: nicht vorhanden."), std::string::npos)
      << badPort->Output();
}

}  // namespace
}  // namespace kelvora::wintest
