// SPDX-License-Identifier: MIT
// A scratch folder for targets that go through real files: one per process, removed at
// exit, memory-backed where there is such a folder (every write is flushed to disk).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace kelvora::fuzz {

class ScratchFolder {
 public:
  explicit ScratchFolder(std::string fileName) : name_(std::move(fileName)) {
    char dir[] = "/dev/shm/kelvora-fuzz-XXXXXX";
    char fallback[] = "/tmp/kelvora-fuzz-XXXXXX";
    const char* made = ::mkdtemp(dir);
    if (made == nullptr) made = ::mkdtemp(fallback);
    if (made == nullptr) std::abort();
    dir_ = made;
  }
  ~ScratchFolder() {
    ::unlink(File().c_str());
    ::rmdir(dir_.c_str());
  }
  std::string File() const { return dir_ + "/" + name_; }
  void Write(std::string_view bytes) const {
    std::ofstream(File(), std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::string name_;
  std::string dir_;
};

}  // namespace kelvora::fuzz
