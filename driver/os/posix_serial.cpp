// Serial ports on termios with the read and write time-outs of the Windows serial
// driver: a read returns what arrived by the total time-out, or once the line has
// been quiet for the interval after a byte; a time-out is not an error.
#include <fcntl.h>
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
#include <unordered_map>

#include "driver/os/posix_os.h"

namespace kelvora::drvos {
namespace {

// Time-outs by handle, kept here rather than behind the entry's object pointer, so
// that a read racing a close finds either the settings or nothing, never freed memory.
struct TimeoutTable {
  std::mutex mutex;
  std::unordered_map<Handle, SerialTimeouts> byHandle;
};

TimeoutTable& Timeouts() {
  static TimeoutTable* const table = new TimeoutTable();
  return *table;
}

SerialTimeouts TimeoutsOf(Handle h) {
  TimeoutTable& t = Timeouts();
  std::lock_guard lock(t.mutex);
  auto it = t.byHandle.find(h);
  return it != t.byHandle.end() ? it->second : SerialTimeouts{0, 0, 0, 0, 0};
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

bool SerialFd(Handle h, int* fd) {
  HandleEntry entry{};
  if (!LookupHandle(h, &entry) || entry.kind != HandleKind::kSerial) return false;
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

}  // namespace

Handle OpenSerialDevice(const char* name) {
  const std::string path = DevicePathFor(name);
  if (path.empty()) return kNoHandle;
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kNoHandle;
  // Share mode 0: the lock keeps out every other opener that locks (this library in
  // another process too, even as root); TIOCEXCL keeps out unprivileged openers.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return kNoHandle;
  }
  ioctl(fd, TIOCEXCL);
  termios t{};
  if (tcgetattr(fd, &t) == 0) {
    MakeRaw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  const Handle h = RegisterHandle(HandleEntry{HandleKind::kSerial, fd, nullptr});
  TimeoutTable& table = Timeouts();
  std::lock_guard lock(table.mutex);
  table.byHandle[h] = SerialTimeouts{0, 0, 0, 0, 0};
  return h;
}

bool CloseSerialDevice(const HandleEntry& entry) {
  {
    // The entry has left the handle table already; drop its time-outs too.
    TimeoutTable& table = Timeouts();
    std::lock_guard lock(table.mutex);
    for (auto it = table.byHandle.begin(); it != table.byHandle.end();) {
      HandleEntry e{};
      it = LookupHandle(it->first, &e) ? std::next(it) : table.byHandle.erase(it);
    }
  }
  ioctl(entry.fd, TIOCNXCL);
  flock(entry.fd, LOCK_UN);
  return ::close(entry.fd) == 0;
}

bool PosixOs::SetCommLine(Handle h, const SerialLine& line) {
  int fd;
  if (!SerialFd(h, &fd)) return false;
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  const speed_t speed = SpeedFor(line.baud);
  if (speed == B0 || cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return false;
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
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool PosixOs::SetCommTimeouts(Handle h, const SerialTimeouts& t) {
  int fd;
  if (!SerialFd(h, &fd)) return false;
  TimeoutTable& table = Timeouts();
  std::lock_guard lock(table.mutex);
  table.byHandle[h] = t;
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
