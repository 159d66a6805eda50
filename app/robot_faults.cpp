// SPDX-License-Identifier: MIT
#include "app/robot_faults.h"

namespace kelvora::app {

std::vector<std::string> FaultMessages(const access::TBrelRobot::TFaults& faults,
                                       const access::TBrelMotList& axes) {
  std::vector<std::string> texts;
  if (faults.motorsWereOn) {
    texts.push_back(
        "Das Interface antwortet nicht mehr, während ein Motor lief. Bis es wieder antwortet "
        "oder ausgeschaltet wird, kann es seine letzten Ausgänge behalten: Motoren laufen dann "
        "weiter");
  }
  for (int axis = 1; axis <= 8; ++axis) {
    if ((faults.stalled & (1u << axis)) == 0) continue;
    texts.push_back("Achse " + axes.GetName(axis) +
                    " bewegt sich nicht, obwohl ihr Motor läuft: Motor abgeschaltet, "
                    "Position unbekannt");
  }
  for (int axis = 1; axis <= 8; ++axis) {
    if ((faults.strayed & (1u << axis)) == 0) continue;
    texts.push_back("Die Eingänge der Achse " + axes.GetName(axis) +
                    " passen nicht zu ihrem Motor (von Hand bewegt oder gestörte Verbindung): "
                    "Position unbekannt");
  }
  if (faults.watchdog) {
    texts.push_back(
        "Bewegung angehalten: das Programm hat die Bewegung länger als 100 ms nicht "
        "überwacht. Die Positionen der bewegten Achsen sind unbekannt");
  }
  return texts;
}

}  // namespace kelvora::app
