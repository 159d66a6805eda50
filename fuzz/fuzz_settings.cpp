// SPDX-License-Identifier: MIT
// The settings round trip: settings that the program can hold (the dialogs' choices,
// descriptions of up to 40 characters of the file's code page with blanks and quotes
// anywhere, every number in its valid range) are written into a file that already holds
// arbitrary text, and read back: the write must succeed and every value must come back
// as it was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "access/brel_mot_list.h"
#include "fuzz/scratch_folder.h"
#include "platform/profile.h"
#include "settings/settings.h"

namespace {

using namespace kelvora;

void Check(bool ok) {
  if (!ok) std::abort();
}

class Input {
 public:
  Input(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  uint8_t Byte() {
    if (n_ == 0) return 0;
    --n_;
    return *d_++;
  }
  uint32_t Word() {
    return Byte() | Byte() << 8 | Byte() << 16 | static_cast<uint32_t>(Byte()) << 24;
  }
  // A number in [lo, hi], its ends and small values likelier than the rest.
  int32_t InRange(int32_t lo, int32_t hi) {
    switch (Byte() % 4) {
      case 0:
        return lo;
      case 1:
        return hi;
      default:
        return lo + static_cast<int32_t>(Word() % (static_cast<uint32_t>(hi - lo) + 1));
    }
  }
  std::string Rest() {
    std::string s(reinterpret_cast<const char*>(d_), n_);
    n_ = 0;
    return s;
  }

 private:
  const uint8_t* d_;
  size_t n_;
};

// A character the description field can hold, as a byte of the file's code page.
char DescriptionByte(uint8_t b) {
  // Controls, and the five bytes the code page leaves unassigned (read as C1 controls).
  const bool control =
      b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
  return control ? " '\"x"[b % 4] : static_cast<char>(b);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  settings::ProgramSettings s;
  access::TBrelMotList axes;
  s.Left = static_cast<int32_t>(in.Word());
  s.Top = static_cast<int32_t>(in.Word());
  s.SetRobModel("Rob" + std::to_string(1 + in.Byte() % 9));
  static const char* const kPorts[] = {"COM1", "COM2", "COM3", "COM4",
                                       "LPT1", "LPT2", "LPT3", "LPT"};
  s.PortName = kPorts[in.Byte() % 8];
  s.LPTDelay = static_cast<uint32_t>(in.InRange(settings::kMinLptDelay, settings::kMaxLptDelay));
  s.RobType = in.Byte() % 2 ? "G" : "Z";
  std::string text;
  for (int n = in.Byte() % 41; n > 0; --n) {
    text += DescriptionByte(in.Byte());
  }
  s.RobText = platform::Cp1252ToUtf8(text);
  for (int axis = 1; axis <= 8; ++axis)
    axes.SetPos(axis, access::mcMaximum, in.InRange(settings::kMinMaximum, settings::kMaxMaximum));
  settings::ConfigureAxes(s, axes);

  static const fuzz::ScratchFolder scratch("Kelvora.INI");
  scratch.Write(in.Rest());
  platform::ProfileFile file(scratch.File());
  // Whatever the file held, valid settings always fit into it.
  Check(settings::WriteSettings(s, axes, file));

  settings::ProgramSettings r;
  access::TBrelMotList back;
  settings::ReadSettings(r, back, file);
  Check(r.Left == s.Left && r.Top == s.Top);
  Check(r.RobModel == s.RobModel && r.ScriptExt == s.ScriptExt);
  Check(r.PortName == s.PortName && r.LPTDelay == s.LPTDelay);
  Check(r.RobType == s.RobType && r.RobText == s.RobText);
  const int used = s.IsRob5() ? 5 : (s.IsTypeG() ? 4 : 3);
  for (int axis = 1; axis <= used; ++axis)
    Check(back.GetPos(axis, access::mcMaximum) == axes.GetPos(axis, access::mcMaximum));
  return 0;
}
