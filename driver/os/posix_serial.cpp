// SPDX-License-Identifier: MIT
// Serial ports on termios with the read and write time-outs of the Windows serial
// driver: a read returns what arrived by the total time-out, or once the line has
// been quiet for the interval after a byte; a time-out is not an error.
//
// A handle outlives its device: when an adapter is pulled, ReopenDevice lets go of the
// dead descriptor and opens the same path again behind the same handle.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "driver/os/posix_os.h"

namespace kelvora::drvos {
namespace {

// Time-outs and device path by handle, kept here rather than behind the entry's object
// pointer, so that a read racing a close finds either the settings or nothing, never
// freed memory.
struct SerialSettings {
  SerialTimeouts timeouts{0, 0, 0, 0, 0};
  std::string path;
};

struct SerialTable {
  std::mutex mutex;
  std::unordered_map<Handle, SerialSettings> byHandle;
};

SerialTable& Serials() {
  static SerialTable* const table = new SerialTable();
  return *table;
}

SerialTimeouts TimeoutsOf(Handle h) {
  SerialTable& t = Serials();
  std::lock_guard lock(t.mutex);
  auto it = t.byHandle.find(h);
  return it != t.byHandle.end() ? it->second.timeouts : SerialTimeouts{0, 0, 0, 0, 0};
}

int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Waits for the event until the deadline. 1 ready, 0 time-out, -1 device gone.
int WaitFor(int fd, short event, int64_t deadlineNs) {
  for (;;) {
    const int64_t left = deadlineNs - NowNs();
    if (left <= 0) return 0;
    pollfd p{fd, event, 0};
    const int ms = static_cast<int>((left + 999999) / 1000000);
    const int rc = poll(&p, 1, ms);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (rc == 0) continue;  // re-check the deadline: poll may wake a little early
    // A hung-up tty also reports itself readable; the hangup decides.
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
    if (p.revents & event) return 1;
  }
}

// False for an unknown handle and for one whose device vanished.
bool SerialFd(Handle h, int* fd) {
  HandleEntry entry{};
  if (!LookupHandle(h, &entry) || entry.kind != HandleKind::kSerial || entry.fd < 0) return false;
  *fd = entry.fd;
  return true;
}

speed_t SpeedFor(uint32_t baud) {
  switch (baud) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    default:
      return B0;
  }
}

// Everything that would transform, swallow or add bytes goes; the line settings
// (speed, size, parity, stop bits, modem control) stay as they are.
void MakeRaw(termios* t) {
  t->c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                       IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
  t->c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t->c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  t->c_cflag |= CREAD;  // a Windows port always receives
  t->c_cc[VMIN] = 0;
  t->c_cc[VTIME] = 0;
}

// USB serial adapters hold received bytes for a while before they pass them on (an
// FTDI chip up to its latency timer, 16 ms by default), longer than a poll period.
// The low-latency flag asks the driver to deliver at once; ftdi_sio turns it into a
// 1 ms latency timer. Devices without the request (a pseudo-terminal) refuse it, and
// the line works without.
void AskLowLatency(int fd) {
  serial_struct ss{};
  if (ioctl(fd, TIOCGSERIAL, &ss) != 0 || (ss.flags & ASYNC_LOW_LATENCY) != 0) return;
  ss.flags |= ASYNC_LOW_LATENCY;
  (void)ioctl(fd, TIOCSSERIAL, &ss);
}

// Opens a serial device raw and exclusive; -1 when it cannot be had (why: LastError).
int OpenSerialFd(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return -1;
  }
  // Share mode 0: the lock keeps out every other opener that locks (this library in
  // another process too, even as root); TIOCEXCL keeps out unprivileged openers.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;  // held: by another program
    ::close(fd);
    Fail(error);
    return -1;
  }
  ioctl(fd, TIOCEXCL);
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    MakeRaw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  AskLowLatency(fd);
  return fd;
}

bool CloseSerialFd(int fd) {
  ioctl(fd, TIOCNXCL);
  flock(fd, LOCK_UN);
  return ::close(fd) == 0;
}

}  // namespace

Handle OpenSerialDevice(const char* name) {
  const std::string path = DevicePathFor(name);
  if (path.empty()) {
    Fail(ENODEV);
    return kNoHandle;
  }
  const int fd = OpenSerialFd(path);
  if (fd < 0) return kNoHandle;
  const Handle h = RegisterHandle(HandleEntry{HandleKind::kSerial, fd, nullptr});
  SerialTable& table = Serials();
  std::lock_guard lock(table.mutex);
  table.byHandle[h] = SerialSettings{SerialTimeouts{0, 0, 0, 0, 0}, path};
  return h;
}

bool CloseSerialDevice(const HandleEntry& entry) {
  {
    // The entry has left the handle table already; drop its settings too.
    SerialTable& table = Serials();
    std::lock_guard lock(table.mutex);
    for (auto it = table.byHandle.begin(); it != table.byHandle.end();) {
      HandleEntry e{};
      it = LookupHandle(it->first, &e) ? std::next(it) : table.byHandle.erase(it);
    }
  }
  // A device that vanished was let go already: the handle closes all the same.
  return entry.fd < 0 || CloseSerialFd(entry.fd);
}

bool PosixOs::ReopenDevice(Handle h) {
  HandleEntry entry{};
  if (!LookupHandle(h, &entry) || entry.kind != HandleKind::kSerial) return false;
  if (entry.fd >= 0) {
    // The dead descriptor goes first: while it is open, a replugged adapter would come
    // back under another name (ttyUSB1 instead of ttyUSB0).
    const int dead = entry.fd;
    entry.fd = -1;
    UpdateHandle(h, entry);
    CloseSerialFd(dead);
  }
  std::string path;
  {
    SerialTable& table = Serials();
    std::lock_guard lock(table.mutex);
    auto it = table.byHandle.find(h);
    if (it == table.byHandle.end()) return false;
    path = it->second.path;
  }
  const int fd = OpenSerialFd(path);
  if (fd < 0) return false;
  entry.fd = fd;
  if (!UpdateHandle(h, entry)) {
    CloseSerialFd(fd);  // closed meanwhile
    return false;
  }
  return true;
}

bool PosixOs::PurgeInput(Handle h) {
  int fd;
  if (!SerialFd(h, &fd)) return false;
  return tcflush(fd, TCIFLUSH) == 0;
}

bool PosixOs::SetCommLine(Handle h, const SerialLine& line) {
  int fd;
  if (!SerialFd(h, &fd)) return Fail(EBADF);
  termios t{};
  if (tcgetattr(fd, &t) != 0) return Fail(errno);  // ENOTTY: no serial port
  const speed_t speed = SpeedFor(line.baud);
  if (speed == B0 || cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0)
    return Fail(EINVAL);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
  switch (line.dataBits) {
    case 5:
      t.c_cflag |= CS5;
      break;
    case 6:
      t.c_cflag |= CS6;
      break;
    case 7:
      t.c_cflag |= CS7;
      break;
    case 8:
      t.c_cflag |= CS8;
      break;
    default:
      return false;
  }
  t.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CMSPAR);
  t.c_iflag &= ~static_cast<tcflag_t>(INPCK);
  switch (line.parity) {
    case 0:
      break;  // none
    case 1:
      t.c_cflag |= PARENB | PARODD;
      break;  // odd
    case 2:
      t.c_cflag |= PARENB;
      break;  // even
    case 3:
      t.c_cflag |= PARENB | PARODD | CMSPAR;
      break;  // mark
    case 4:
      t.c_cflag |= PARENB | CMSPAR;
      break;  // space
    default:
      return false;
  }
  if (line.stopBits == 0) {
    t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
  } else {
    t.c_cflag |= CSTOPB;  // 1.5 has no termios form; two is the nearest
  }
  MakeRaw(&t);
  return tcsetattr(fd, TCSANOW, &t) == 0 || Fail(errno);
}

bool PosixOs::SetCommTimeouts(Handle h, const SerialTimeouts& t) {
  int fd;
  if (!SerialFd(h, &fd)) return Fail(EBADF);
  SerialTable& table = Serials();
  std::lock_guard lock(table.mutex);
  auto it = table.byHandle.find(h);
  if (it == table.byHandle.end()) return Fail(EBADF);
  it->second.timeouts = t;
  return true;
}

int32_t PosixOs::WriteFile(Handle h, const uint8_t* data, uint32_t n) {
  int fd;
  if (!SerialFd(h, &fd)) return -1;
  const SerialTimeouts to = TimeoutsOf(h);
  const uint64_t limitMs = uint64_t{to.writeTotalMultiplier} * n + to.writeTotalConstant;
  const int64_t deadline = NowNs() + static_cast<int64_t>(limitMs) * 1000000;
  uint32_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, data + done, n - done);
    if (w > 0) {
      done += static_cast<uint32_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN) return done > 0 ? static_cast<int32_t>(done) : -1;
    // A write limit of 0 means no limit, as on Windows; still never spin without a wait.
    const int rc =
        limitMs == 0 ? WaitFor(fd, POLLOUT, NowNs() + 1000000000) : WaitFor(fd, POLLOUT, deadline);
    if (rc < 0) return done > 0 ? static_cast<int32_t>(done) : -1;
    if (rc == 0 && limitMs != 0) break;
  }
  return static_cast<int32_t>(done);
}

int32_t PosixOs::ReadFile(Handle h, uint8_t* data, uint32_t n) {
  int fd;
  if (!SerialFd(h, &fd)) return -1;
  if (n == 0) return 0;
  const SerialTimeouts to = TimeoutsOf(h);
  const int64_t start = NowNs();
  const uint64_t totalMs = uint64_t{to.readTotalMultiplier} * n + to.readTotalConstant;
  const int64_t totalDeadline = start + static_cast<int64_t>(totalMs) * 1000000;
  const int64_t intervalNs = static_cast<int64_t>(to.readInterval) * 1000000;
  uint32_t got = 0;
  int64_t lastByte = 0;
  for (;;) {
    const ssize_t r = ::read(fd, data + got, n - got);
    if (r > 0) {
      got += static_cast<uint32_t>(r);
      lastByte = NowNs();
      if (got == n) return static_cast<int32_t>(got);
      continue;  // drain what is buffered before waiting
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) {
      // An I/O error: the device is gone (a pulled USB adapter).
      return got > 0 ? static_cast<int32_t>(got) : -1;
    }
    // Nothing there now (a raw tty with VMIN 0 answers 0, not EAGAIN); a hung-up
    // device shows in the poll below.
    int64_t deadline = totalMs != 0 ? totalDeadline : INT64_MAX;
    if (got > 0 && to.readInterval != 0) deadline = std::min(deadline, lastByte + intervalNs);
    if (deadline == INT64_MAX) deadline = NowNs() + 1000000000;  // no limit: wait in slices
    const int rc = WaitFor(fd, POLLIN, deadline);
    if (rc < 0) return got > 0 ? static_cast<int32_t>(got) : -1;
    if (rc == 0 && (totalMs != 0 || (got > 0 && to.readInterval != 0))) {
      return static_cast<int32_t>(got);
    }
  }
}

}  // namespace kelvora::drvos
