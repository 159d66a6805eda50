// SPDX-License-Identifier: MIT
// The Windows side of the platform layer and the Win32 layer's serial settings, on the
// system itself (under Wine in CI): files replaced whole, folders, the platform family.
#include <gtest/gtest.h>
#include <windows.h>
#undef ReplaceFile  // the platform layer's, not the system's macro

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "driver/os/win32_os.h"
#include "platform/file_replace.h"
#include "platform/files.h"
#include "platform/os_family.h"
#include "platform/profile.h"
#include "platform/prog_dir.h"

namespace kelvora::platform {
namespace {

namespace fs = std::filesystem;

// The program's strings are UTF-8; the file system's names are wide.
fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
std::string Utf8Of(const fs::path& path) {
  const std::u8string u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

// A scratch folder with a name outside the ANSI code page, removed afterwards.
class Win32PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            (L"kelvora-\u00e4\u20ac-" + std::to_wstring(GetCurrentProcessId()));
    fs::create_directories(root_);
    dir_ = Utf8Of(root_) + "/";
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(root_, ec))
      fs::permissions(e.path(), fs::perms::owner_all, ec);
    fs::remove_all(root_, ec);
  }
  std::string Read(const std::string& name) {
    std::ifstream in(PathOf(dir_ + name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  size_t Entries() { return std::distance(fs::directory_iterator(root_), {}); }

  fs::path root_;
  std::string dir_;  // UTF-8, ending in '/'
};

TEST_F(Win32PlatformTest, FilesAreReplacedWholeAndRefusedWhereTheyMustBe) {
  const std::string file = dir_ + "Kelvora.INI";
  EXPECT_EQ(CreateNewFile(file, "one\r\n"), 0);
  EXPECT_EQ(CreateNewFile(file, "two\r\n"), EEXIST);
  EXPECT_EQ(ReplaceFile(file, "three\r\n"), 0);
  EXPECT_EQ(Read("Kelvora.INI"), "three\r\n");
  EXPECT_EQ(Entries(), 1u);  // no temporary file left behind

  SetFileAttributesW(PathOf(file).c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReplaceFile(file, "four\r\n"), EACCES);
  EXPECT_EQ(Read("Kelvora.INI"), "three\r\n");
  SetFileAttributesW(PathOf(file).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReplaceFile(dir_, "x"), EISDIR);
  EXPECT_NE(ReplaceFile(dir_ + "no-such-folder/x.RB3", "x"), 0);
  EXPECT_EQ(Entries(), 1u);
}

TEST_F(Win32PlatformTest, ReadingTakesOnlyFilesOnTheDisk) {
  std::string bytes;
  EXPECT_EQ(ReadWholeFile(dir_ + "missing.INI", &bytes), ENOENT);
  EXPECT_EQ(ReadWholeFile(dir_, &bytes), EISDIR);
  EXPECT_EQ(ReadWholeFile("NUL", &bytes), EINVAL);  // a device, not a file
  EXPECT_FALSE(ReadRegularFile("NUL", 100, &bytes));
  ASSERT_EQ(CreateNewFile(dir_ + "S.RB3", std::string("ab\0cd", 5)), 0);
  EXPECT_EQ(ReadWholeFile(dir_ + "S.RB3", &bytes), 0);
  EXPECT_EQ(bytes, std::string("ab\0cd", 5));
  ASSERT_TRUE(ReadRegularFile(dir_ + "S.RB3", 100, &bytes, 0));
  EXPECT_EQ(bytes, "ab");  // up to the stop byte
  EXPECT_FALSE(ReadRegularFile(dir_ + "S.RB3", 4, &bytes));
  ASSERT_EQ(CreateNewFile(dir_ + "S2.RB3", ""), 0);
  EXPECT_EQ(RegularFilesStartingWith(dir_, "S"), (std::vector<std::string>{"S.RB3", "S2.RB3"}));
}

// The settings file under a folder name that needs UTF-8, with a value in code page 1252.
TEST_F(Win32PlatformTest, TheSettingsFileKeepsItsBytesUnderAnyFolderName) {
  ProfileFile ini(dir_ + "Kelvora.INI");
  ASSERT_TRUE(ini.WriteString("Rob2", "RobText", "Schwei\u00df-Roboter"));
  EXPECT_EQ(ini.ReadString("rob2", "robtext", ""), "Schwei\u00df-Roboter");
  EXPECT_EQ(Read("Kelvora.INI"), "[Rob2]\r\nRobText=Schwei\xdf-Roboter\r\n");
}

TEST_F(Win32PlatformTest, ProgramFoldersFollowTheOneRule) {
  const std::string program = ProgramDirectory();
  ASSERT_FALSE(program.empty());
  EXPECT_EQ(program.back(), '/');
  EXPECT_TRUE(fs::exists(PathOf(program + "platform_win32_test.exe"))) << program;
  const std::string user = UserConfigDirectory();
  EXPECT_NE(user.find("/kelvora/"), std::string::npos) << user;
  EXPECT_EQ(user.size() - user.rfind("/kelvora/"), 9u) << user;

  EXPECT_TRUE(IsWritableDirectory(dir_));
  EXPECT_FALSE(IsWritableDirectory(dir_ + "missing/"));
  CreateDirectories(dir_ + "a/b/");
  EXPECT_TRUE(IsWritableDirectory(dir_ + "a/b/"));
  EXPECT_EQ(ProgramFoldersFor(dir_).progDir, dir_);
  const ProgramFolders installed = ChooseProgramFolders(dir_, false);
  EXPECT_EQ(installed.progDir, user);
  EXPECT_EQ(installed.fallbackDir, dir_);
}

TEST(Win32Family, TheNtFamilyReachesTheParallelPortThroughThePortDriver) {
  // Wine, as every Windows since 2000, is of the NT family.
  EXPECT_EQ(PlatformFamilyKind(), 2);
  EXPECT_EQ(drvos::NativeOs().Family(), drvos::PlatformFamily::kPortDriver);
}

// Only the four line settings are the driver's; of the rest, what would swallow,
// replace or add bytes goes, and the modem lines stay as the port had them.
TEST(Win32Serial, TheLineBecomesBinary8N1AndKeepsItsModemControl) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 2400;
  dcb.ByteSize = 7;
  dcb.Parity = EVENPARITY;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fParity = TRUE;
  dcb.fOutX = dcb.fInX = dcb.fNull = dcb.fErrorChar = dcb.fDsrSensitivity = TRUE;
  dcb.fOutxCtsFlow = TRUE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  dcb.XonChar = 0x11;
  drvos::ApplySerialLine(&dcb, drvos::SerialLine{9600, 8, 0, 0});
  EXPECT_EQ(dcb.BaudRate, 9600u);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fParity | dcb.fOutX | dcb.fInX | dcb.fNull | dcb.fErrorChar | dcb.fDsrSensitivity,
            0u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
}

}  // namespace
}  // namespace kelvora::platform
