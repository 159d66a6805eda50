// SPDX-License-Identifier: MIT
// Loads libzqBrel20.so as a program would, opens COM1 and then either unloads the
// library ("unload") or ends the process ("exit") without closing the record. It
// reports each step on stdout so that the test can order them against what the box saw.
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "driver/zqBrel20.h"

namespace {

TBrelRecord gRecord;  // alive until the process ends, as the program's record is

void Say(const char* line) {
  // One write per line, unbuffered: the test reads them as they come.
  if (write(STDOUT_FILENO, line, strlen(line)) < 0) _exit(3);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    fprintf(stderr, "%s\n", dlerror());
    return 2;
  }
  auto open =
      reinterpret_cast<int32_t (*)(TBrelRecord*, const char*)>(dlsym(lib, "zqOpenInterface"));
  if (open == nullptr) return 2;
  gRecord.PollInterval = 50;  // the unload waits 200 ms: long enough to see ticks in it
  if (open(&gRecord, "COM1") != 0) return 4;
  Say("open\n");
  usleep(200000);
  if (strcmp(argv[2], "unload") == 0) {
    Say("unloading\n");
    dlclose(lib);
    Say("unloaded\n");
    usleep(300000);  // still alive: the port must be free already
  } else {
    Say("exiting\n");
  }
  return 0;
}
