// The shared library exports exactly the eight functions, by name, and nothing else.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <set>
#include <string>

namespace {

const std::set<std::string> kExports = {"zqOpenInterface", "zqCloseInterface", "zqGetVersion",
                                        "zqGetInput",      "zqSetMotor",       "zqSetLamp",
                                        "zqStartDriver",   "zqStopDriver"};

TEST(DriverExports, DynamicSymbolTableHoldsExactlyTheEight) {
  const std::string cmd = std::string("nm -D --defined-only ") + ZQBREL_LIB_PATH;
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::set<std::string> names;
  char line[512];
  while (fgets(line, sizeof line, p) != nullptr) {
    char type = 0;
    char name[400] = {0};
    if (sscanf(line, "%*s %c %399s", &type, name) != 2) continue;
    if (type == 'A') continue;  // the version node, not a symbol
    std::string n = name;
    if (auto at = n.find('@'); at != std::string::npos) n.resize(at);
    names.insert(n);
  }
  ASSERT_EQ(pclose(p), 0);
  EXPECT_EQ(names, kExports);
}

TEST(DriverExports, ResolvableByNameWithCLinkage) {
  void* lib = dlopen(ZQBREL_LIB_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const std::string& name : kExports) EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
  // Internal entry points stay hidden.
  EXPECT_EQ(dlsym(lib, "_ZN7kelvora6driver14OpenSerialPortEP11TBrelRecordPKc"), nullptr);
  auto version = reinterpret_cast<int32_t (*)()>(dlsym(lib, "zqGetVersion"));
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version(), 201);
  dlclose(lib);
}

}  // namespace
