// SPDX-License-Identifier: MIT
#include "app/robot_faults.h"

namespace kelvora::app {

std::vector<platform::UserText> FaultTexts(const access::TBrelRobot::TFaults& faults,
                                           const access::TBrelMotList& axes) {
  std::vector<platform::UserText> texts;
  if (faults.motorsWereOn) {
    texts.push_back({KELVORA_TEXT(
        "Robot",
        "Das Interface antwortet nicht mehr, während ein Motor lief. Bis es wieder antwortet "
        "oder ausgeschaltet wird, kann es seine letzten Ausgänge behalten: Motoren laufen dann "
        "weiter")});
  }
  // The axis names are the settings' own words, translated with them.
  auto axis = [&axes](int a) {
    return platform::UserText::Arg{axes.GetName(a), settings::kAxisNameContext};
  };
  for (int a = 1; a <= 8; ++a) {
    if ((faults.stalled & (1u << a)) == 0) continue;
    texts.push_back({KELVORA_TEXT("Robot",
                                  "Achse %1 bewegt sich nicht, obwohl ihr Motor läuft: Motor "
                                  "abgeschaltet, Position unbekannt"),
                     {axis(a)}});
  }
  for (int a = 1; a <= 8; ++a) {
    if ((faults.strayed & (1u << a)) == 0) continue;
    texts.push_back({KELVORA_TEXT("Robot",
                                  "Die Eingänge der Achse %1 passen nicht zu ihrem Motor (von "
                                  "Hand bewegt oder gestörte Verbindung): Position unbekannt"),
                     {axis(a)}});
  }
  if (faults.watchdog) {
    texts.push_back(
        {KELVORA_TEXT("Robot",
                      "Bewegung angehalten: das Programm hat die Bewegung länger als 100 ms nicht "
                      "überwacht. Die Positionen der bewegten Achsen sind unbekannt")});
  }
  return texts;
}

std::vector<std::string> FaultMessages(const access::TBrelRobot::TFaults& faults,
                                       const access::TBrelMotList& axes) {
  std::vector<std::string> messages;
  for (const platform::UserText& text : FaultTexts(faults, axes)) messages.push_back(text.German());
  return messages;
}

}  // namespace kelvora::app
