// The virtual box served on the master side of a real pseudo-terminal, from a thread
// of its own, for the end-to-end tests and the timer benchmark. The driver opens the
// slave side through ZQBREL_COM<n>.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/virtual_box.h"

namespace kelvora::drvtest {

class PtyBox {
 public:
  using Clock = std::chrono::steady_clock;

  PtyBox() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) return;
    slave_ = name;
    // Raw before any exchange: no echo, no CR/LF games, no flow-control bytes.
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    thread_ = std::thread([this] { Serve(); });
  }
  ~PtyBox() { Vanish(); }
  PtyBox(const PtyBox&) = delete;
  PtyBox& operator=(const PtyBox&) = delete;

  bool ok() const { return !slave_.empty(); }
  const std::string& SlavePath() const { return slave_; }
  // Maps the port name (for example "COM1") to this box for the driver.
  void MapAs(const char* port) const {
    setenv((std::string("ZQBREL_") + port).c_str(), slave_.c_str(), 1);
  }

  // When each exchange's command arrived.
  std::vector<Clock::time_point> ExchangeTimes() const {
    std::lock_guard lock(mutex_);
    return times_;
  }
  size_t Exchanges() const {
    std::lock_guard lock(mutex_);
    return times_.size();
  }
  // When the driver let go of the port (the slave's last close), once per session.
  std::vector<Clock::time_point> Hangups() const {
    std::lock_guard lock(mutex_);
    return hangups_;
  }
  // The adapter is pulled: the slave side sees an I/O error from now on.
  void Vanish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  sim::VirtualBox box;

 private:
  void Serve() {
    bool connected = false;
    while (!stop_) {
      const int fd = master_;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      if (p.revents & POLLIN) {
        uint8_t buf[64];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
          connected = true;
          const size_t before = box.ExchangeCount();
          box.SerialWrite(buf, static_cast<size_t>(n));
          const size_t after = box.ExchangeCount();
          {
            std::lock_guard lock(mutex_);
            for (size_t i = before; i < after; ++i) times_.push_back(Clock::now());
          }
          uint8_t reply[64];
          const int k = box.SerialRead(reply, sizeof reply);
          if (k > 0 && write(fd, reply, static_cast<size_t>(k)) < 0) {
          }
          continue;
        }
      }
      if (p.revents & (POLLHUP | POLLERR)) {
        if (connected) {
          std::lock_guard lock(mutex_);
          hangups_.push_back(Clock::now());
        }
        connected = false;
        timespec ms{0, 1000000};
        nanosleep(&ms, nullptr);  // no slave open: poll reports the hangup at once
      }
    }
  }

  int master_ = -1;
  std::string slave_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<Clock::time_point> times_;
  std::vector<Clock::time_point> hangups_;
};

}  // namespace kelvora::drvtest
