// SPDX-License-Identifier: MIT
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

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
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
  // Commands in, replies out; a reply piece with a delay goes out when it is due, while
  // later commands are served meanwhile.
  void Serve() {
    bool connected = false;
    std::vector<std::pair<Clock::time_point, std::vector<uint8_t>>> due;
    while (!stop_) {
      const int fd = master_;
      auto now = Clock::now();
      for (auto it = due.begin(); it != due.end();) {
        if (it->first > now) {
          ++it;
          continue;
        }
        if (write(fd, it->second.data(), it->second.size()) < 0) {
        }
        it = due.erase(it);
      }
      int wait = 20;
      for (const auto& d : due) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d.first - now).count();
        wait = std::min<int>(wait, static_cast<int>(std::max<int64_t>(ms, 0)));
      }
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, wait) <= 0) continue;
      if (p.revents & POLLIN) {
        uint8_t buf[64];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
          connected = true;
          const size_t before = box.ExchangeCount();
          box.SerialWrite(buf, static_cast<size_t>(n));
          const size_t after = box.ExchangeCount();
          now = Clock::now();
          {
            std::lock_guard lock(mutex_);
            for (size_t i = before; i < after; ++i) times_.push_back(now);
          }
          for (sim::ReplyPiece& piece : box.TakeReplies()) {
            if (piece.delayMs == 0) {
              if (write(fd, piece.bytes.data(), piece.bytes.size()) < 0) {
              }
            } else {
              due.emplace_back(now + std::chrono::milliseconds(piece.delayMs),
                               std::move(piece.bytes));
            }
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
        due.clear();  // nobody there to receive them
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
