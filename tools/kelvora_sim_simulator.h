// SPDX-License-Identifier: MIT
// kelvora-sim's simulator: the virtual box and robot on a pseudo-terminal, served on a
// thread of its own in real time, with the faults the keys and the window switch on
// (a device that vanishes or is replugged among them), and the window's way into it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "sim/robot.h"
#include "sim/view/view_model.h"
#include "sim/virtual_box.h"
#include "tools/kelvora_sim_options.h"

namespace kelvora::sim::tool {

// The monotonic clock in nanoseconds.
int64_t MonoNs();

class Simulator {
 public:
  explicit Simulator(const Options& o);
  ~Simulator();

  bool OpenPty(std::string* error);

  const std::string& Path() const { return path_; }
  // What the COM port is mapped to: the --link name, else the device itself.
  const std::string& MapPath() const { return options_.link.empty() ? path_ : options_.link; }

  // Points the --link name at the device (atomically, so that an opener never finds it
  // missing); never replaces anything but a symbolic link.
  bool Link(std::string* error);
  void Unlink();

  // The serving thread, the device and the replug state change from the keys' thread
  // and, with --view, from the window's thread: always under faultMutex_.
  void Start();
  void Stop();
  void SetFault(BoxFault f);

  // Brings a replugged device back once its time has come: a new pseudo-terminal, as
  // an adapter comes back as a new device, with the --link name pointed at it. Returns
  // what to tell the user, or "" while nothing happened.
  std::string CheckReplug();

  void ToggleInput11() { robot_.SetExtraInput(11, !robot_.ExtraInput(11)); }
  void ToggleStuck(int axis);
  void ToggleEndBroken(int axis);
  void ChangeAnalog(int channel, int delta);

  Robot& GetRobot() { return robot_; }
  VirtualBox& Box() { return box_; }

  void CatchUp() { robot_.AdvanceTo(static_cast<uint64_t>((MonoNs() - startNs_) / 1000)); }

  std::string Positions();
  // "impulses: 1=30/30 2=0/0 ...": per axis the changes of its impulse input the robot
  // made and those the box's replies showed.
  std::string ImpulseCounts();
  std::string StatusLine();

 private:
  void SetFaultLocked(BoxFault f);
  static std::string ShortName(const std::string& name);
  void CloseDevice();
  void WriteAll(const uint8_t* data, size_t n);
  void Serve();

  Options options_;
  VirtualBox box_;
  Robot robot_;
  int64_t startNs_ = 0;
  std::mutex fdMutex_;
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::mutex faultMutex_;
  bool vanished_ = false;
  int64_t returnAtNs_ = 0;  // when a replugged device comes back; 0: none pending
  bool linked_ = false;
};

// The window's way into the simulator: the robot is brought up to the real clock before
// it is read, and faults go through the simulator, which pulls the device that vanishes.
class ViewLink : public kelvora::sim::view::ViewTarget {
 public:
  explicit ViewLink(Simulator& sim) : ViewTarget(sim.GetRobot(), sim.Box()), sim_(sim) {}
  kelvora::sim::view::ViewSnapshot Take() override {
    sim_.CatchUp();
    return ViewTarget::Take();
  }
  void SetFault(BoxFault fault) override { sim_.SetFault(fault); }

 private:
  Simulator& sim_;
};

}  // namespace kelvora::sim::tool
