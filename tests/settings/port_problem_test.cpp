// SPDX-License-Identifier: MIT
// The line that says why a port failed: the device by the driver's mapping, the reason in
// German and the remedy.
#include "platform/port_problem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "tests/support/scoped_env.h"

namespace kelvora::platform {
namespace {

TEST(PortProblemText, NamesTheDeviceTheReasonAndTheRemedy) {
  kelvora::testing::ScopedEnv env{"ZQBREL_COM3", "ZQBREL_LPT2"};
  kelvora::testing::ScopedEnv::Set("ZQBREL_COM3", "/dev/ttyUSB0");
  kelvora::testing::ScopedEnv::Set("ZQBREL_LPT2", "/dev/parport1");
  const struct {
    const char* port;
    int error;
    std::string text;
  } cases[] = {
      {"COM3", ENOENT,
       "Gerät /dev/ttyUSB0: nicht vorhanden. Ist der Adapter eingesteckt? kelvora-ports "
       "zeigt die Ports dieses Rechners."},
      {"com3", EACCES,
       "Gerät /dev/ttyUSB0: Zugriff verweigert. Abhilfe: den Benutzer in die Gruppe dialout "
       "aufnehmen (sudo usermod -aG dialout $USER) und neu anmelden."},
      {"LPT2", EACCES,
       "Gerät /dev/parport1: Zugriff verweigert. Abhilfe: den Benutzer in die Gruppe lp "
       "aufnehmen (sudo usermod -aG lp $USER) und neu anmelden."},
      {"COM3", EBUSY, "Gerät /dev/ttyUSB0: belegt. Ein anderes Programm hält den Port offen."},
      {"COM3", ETIMEDOUT,
       "Gerät /dev/ttyUSB0: keine Antwort der Interface-Box. Ist sie eingeschaltet und an "
       "diesem Port angeschlossen?"},
      {"COM3", ENOTTY, "Gerät /dev/ttyUSB0: kein serieller Port."},
      {"COM10", EINVAL, "COM10 ist kein gültiger Portname (COM1 bis COM9, LPT, LPT1 bis LPT3)."},
      {"LPT", EADDRNOTAVAIL,
       "LPT ohne Nummer hat keine Portadresse. Abhilfe: LPT1, LPT2 oder LPT3 wählen."},
      {"COM3", EMFILE, std::string("Gerät /dev/ttyUSB0: ") + std::strerror(EMFILE)},
  };
  for (const auto& c : cases) EXPECT_EQ(PortProblemText(c.port, c.error), c.text) << c.port;
}

}  // namespace
}  // namespace kelvora::platform
