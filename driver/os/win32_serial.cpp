// SPDX-License-Identifier: MIT
// Serial ports on the Windows serial driver: \\.\COMn opened exclusively and
// synchronously, the line set through the port's DCB, the read and write time-outs
// through COMMTIMEOUTS, one WriteFile and one ReadFile per exchange.
//
// A port is known by the word of the handle its first open gave. When its adapter is
// pulled, ReopenDevice closes the dead handle (a removed device cannot come back while
// a handle holds it) and opens the same name again behind the same word.
#include <windows.h>

#include <cstring>
#include <mutex>
#include <string>

#include "driver/os/win32_os.h"

namespace kelvora::drvos {
namespace {

struct SerialPort {
  Handle word = kNoHandle;                // kNoHandle: slot free
  HANDLE current = INVALID_HANDLE_VALUE;  // INVALID_HANDLE_VALUE while the device is gone
  bool writeFailed = false;               // the device refused the last command
  char path[16] = {};
};

// Fixed, like the driver's own port table; a process opens a handful of ports at most.
constexpr int kMaxPorts = 32;

struct SerialTable {
  std::mutex mutex;
  SerialPort ports[kMaxPorts];
};

// Never destroyed: the clean-up at unload may still close a port.
SerialTable& Table() {
  static SerialTable* const table = new SerialTable();
  return *table;
}

// Called with the table locked.
SerialPort* FindLocked(SerialTable& t, Handle word) {
  if (word == kNoHandle) return nullptr;
  for (SerialPort& p : t.ports) {
    if (p.word == word) return &p;
  }
  return nullptr;
}

// The Windows handle behind a port's word now; INVALID_HANDLE_VALUE for an unknown word
// and for a port whose device is gone. takeWriteFailure: also reports (and forgets)
// whether the last write failed.
HANDLE Current(Handle word, bool* takeWriteFailure = nullptr) {
  SerialTable& t = Table();
  std::lock_guard lock(t.mutex);
  SerialPort* p = FindLocked(t, word);
  if (p == nullptr) return INVALID_HANDLE_VALUE;
  if (takeWriteFailure != nullptr) {
    *takeWriteFailure = p->writeFailed;
    p->writeFailed = false;
  }
  return p->current;
}

void NoteWriteFailure(Handle word) {
  SerialTable& t = Table();
  std::lock_guard lock(t.mutex);
  if (SerialPort* p = FindLocked(t, word)) p->writeFailed = true;
}

// Called with the table locked: whether this process has the device open already.
bool PathOpenLocked(const SerialTable& t, const char* path) {
  for (const SerialPort& p : t.ports) {
    if (p.word != kNoHandle && lstrcmpiA(p.path, path) == 0) return true;
  }
  return false;
}

// "\\.\COM12": the device namespace reaches every port number, not only COM1 to COM9.
bool DevicePath(const char* name, char (&path)[16]) {
  const size_t len = strnlen(name, 12);
  if (len < 4 || len > 11) return false;
  std::memcpy(path, "\\\\.\\", 4);
  std::memcpy(path + 4, name, len + 1);
  return true;
}

HANDLE OpenPath(const char* path) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

void ApplySerialLine(DCB* dcb, const SerialLine& line) {
  dcb->BaudRate = line.baud;
  dcb->ByteSize = line.dataBits;
  dcb->Parity = line.parity;
  dcb->StopBits = line.stopBits;
  dcb->fBinary = TRUE;  // the only mode Windows supports; no end-of-file character
  dcb->fParity = line.parity != NOPARITY;
  dcb->fOutX = FALSE;  // XON/XOFF would swallow 0x11 and 0x13 in replies and send them
  dcb->fInX = FALSE;
  dcb->fErrorChar = FALSE;       // a byte with a parity error would come back replaced
  dcb->fNull = FALSE;            // zero bytes would be thrown away
  dcb->fDsrSensitivity = FALSE;  // every byte would be thrown away while DSR is low
}

bool IsSerialWord(Handle h) {
  SerialTable& t = Table();
  std::lock_guard lock(t.mutex);
  return FindLocked(t, h) != nullptr;
}

Handle OpenSerialDevice(const char* name) {
  char path[16];
  if (!DevicePath(name, path)) {
    NoteFailure(ENOENT);
    return kNoHandle;
  }
  {
    // Share mode 0 keeps every other opener out; not every implementation of the
    // platform enforces it for serial devices (Wine does not), so within this process
    // the layer does so itself.
    SerialTable& t = Table();
    std::lock_guard lock(t.mutex);
    if (PathOpenLocked(t, path)) {
      NoteFailure(EBUSY);
      return kNoHandle;
    }
  }
  const Handle word = HandOut(OpenPath(path));
  if (word == kNoHandle) {
    NoteFailure(true);
    return kNoHandle;
  }
  SerialTable& t = Table();
  std::lock_guard lock(t.mutex);
  if (PathOpenLocked(t, path)) {
    ::CloseHandle(HandleOf(word));  // another thread opened it meanwhile
    NoteFailure(EBUSY);
    return kNoHandle;
  }
  for (SerialPort& p : t.ports) {
    if (p.word != kNoHandle) continue;
    p.word = word;
    p.current = HandleOf(word);
    std::memcpy(p.path, path, sizeof path);
    return word;
  }
  // No slot: the port works on, only it cannot be opened again after a replug.
  return word;
}

bool CloseSerialDevice(Handle h, bool* closed) {
  HANDLE current;
  {
    SerialTable& t = Table();
    std::lock_guard lock(t.mutex);
    SerialPort* p = FindLocked(t, h);
    if (p == nullptr) return false;
    current = p->current;
    *p = SerialPort{};
  }
  // A device that vanished was let go already: the port closes all the same.
  *closed = current == INVALID_HANDLE_VALUE || ::CloseHandle(current) != 0;
  return true;
}

bool Win32Os::ReopenDevice(Handle h) {
  char path[16];
  HANDLE dead;
  {
    SerialTable& t = Table();
    std::lock_guard lock(t.mutex);
    SerialPort* p = FindLocked(t, h);
    if (p == nullptr) return false;
    dead = p->current;
    p->current = INVALID_HANDLE_VALUE;
    std::memcpy(path, p->path, sizeof path);
  }
  if (dead != INVALID_HANDLE_VALUE) ::CloseHandle(dead);
  HANDLE fresh = OpenPath(path);
  if (fresh == INVALID_HANDLE_VALUE) return false;
  SerialTable& t = Table();
  std::lock_guard lock(t.mutex);
  SerialPort* p = FindLocked(t, h);
  if (p == nullptr) {
    ::CloseHandle(fresh);  // closed meanwhile
    return false;
  }
  p->current = fresh;
  p->writeFailed = false;
  return true;
}

bool Win32Os::SetCommLine(Handle h, const SerialLine& line) {
  const HANDLE port = Current(h);
  if (port == INVALID_HANDLE_VALUE) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(port, &dcb)) {
    NoteFailure(true);
    return false;
  }
  ApplySerialLine(&dcb, line);
  if (SetCommState(port, &dcb)) return true;
  NoteFailure(true);
  return false;
}

bool Win32Os::SetCommTimeouts(Handle h, const SerialTimeouts& t) {
  const HANDLE port = Current(h);
  if (port == INVALID_HANDLE_VALUE) return false;
  COMMTIMEOUTS c{};
  c.ReadIntervalTimeout = t.readInterval;
  c.ReadTotalTimeoutMultiplier = t.readTotalMultiplier;
  c.ReadTotalTimeoutConstant = t.readTotalConstant;
  c.WriteTotalTimeoutMultiplier = t.writeTotalMultiplier;
  c.WriteTotalTimeoutConstant = t.writeTotalConstant;
  if (::SetCommTimeouts(port, &c)) return true;
  NoteFailure(true);
  return false;
}

namespace {

// After a failed write or read: a line error (framing, overrun) on a port set to abort
// on errors makes every call fail until the error is cleared; the line itself is there.
// Anything else is the device failing (a USB adapter pulled).
bool LineErrorCleared(HANDLE port) {
  DWORD errors = 0;
  return GetLastError() == ERROR_OPERATION_ABORTED && ClearCommError(port, &errors, nullptr);
}

}  // namespace

int32_t Win32Os::WriteFile(Handle h, const uint8_t* data, uint32_t n) {
  const HANDLE port = Current(h);
  if (port == INVALID_HANDLE_VALUE) return -1;
  DWORD written = 0;
  if (::WriteFile(port, data, n, &written, nullptr) || LineErrorCleared(port)) {
    return static_cast<int32_t>(written);
  }
  // The reply's read would only wait out its time-out on a device that is gone (some
  // implementations keep a vanished device readable): it reports the failure instead.
  NoteWriteFailure(h);
  return written > 0 ? static_cast<int32_t>(written) : -1;
}

int32_t Win32Os::ReadFile(Handle h, uint8_t* data, uint32_t n) {
  bool writeFailed = false;
  const HANDLE port = Current(h, &writeFailed);
  if (port == INVALID_HANDLE_VALUE || writeFailed) return -1;
  DWORD got = 0;
  if (::ReadFile(port, data, n, &got, nullptr) || LineErrorCleared(port)) {
    return static_cast<int32_t>(got);
  }
  return got > 0 ? static_cast<int32_t>(got) : -1;
}

bool Win32Os::PurgeInput(Handle h) {
  const HANDLE port = Current(h);
  return port != INVALID_HANDLE_VALUE && PurgeComm(port, PURGE_RXCLEAR) != 0;
}

}  // namespace kelvora::drvos
