// SPDX-License-Identifier: MIT
#include "platform/port_problem.h"

#include <cerrno>
#include <cstring>

#include "driver/os/ports_file.h"

namespace kelvora::platform {

UserText PortProblem(const std::string& portName, int error) {
  const bool serial = !portName.empty() && (portName[0] == 'C' || portName[0] == 'c');
  // Names the driver never gets, or that reach no device file, have no device to name.
  if (error == EINVAL) {
    return {
        KELVORA_TEXT("Port", "%1 ist kein gültiger Portname (COM1 bis COM9, LPT, LPT1 bis LPT3)."),
        {{portName}}};
  }
  if (error == EADDRNOTAVAIL) {
    return {KELVORA_TEXT(
        "Port", "LPT ohne Nummer hat keine Portadresse. Abhilfe: LPT1, LPT2 oder LPT3 wählen.")};
  }
  std::string device = kelvora::drvos::DevicePathFor(portName.c_str());
  if (device.empty()) device = portName;
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return {KELVORA_TEXT("Port",
                           "Gerät %1: nicht vorhanden. Ist der Adapter eingesteckt? kelvora-ports "
                           "zeigt die Ports dieses Rechners."),
              {{device}}};
    case EACCES:
    case EPERM:
      return {KELVORA_TEXT("Port",
                           "Gerät %1: Zugriff verweigert. Abhilfe: den Benutzer in die Gruppe %2 "
                           "aufnehmen (sudo usermod -aG %2 $USER) und neu anmelden."),
              {{device}, {serial ? "dialout" : "lp"}}};
    case EBUSY:
    case EAGAIN:
      return {KELVORA_TEXT("Port", "Gerät %1: belegt. Ein anderes Programm hält den Port offen."),
              {{device}}};
    case ETIMEDOUT:
      return {KELVORA_TEXT("Port",
                           "Gerät %1: keine Antwort der Interface-Box. Ist sie eingeschaltet und "
                           "an diesem Port angeschlossen?"),
              {{device}}};
    case ENOTTY:
      return {KELVORA_TEXT("Port", "Gerät %1: kein serieller Port."), {{device}}};
    case EIO:
      return {KELVORA_TEXT("Port",
                           "Gerät %1: Ein-/Ausgabefehler. Gibt es an diesem Port eine "
                           "Schnittstelle?"),
              {{device}}};
    case ESRCH:
      return {KELVORA_TEXT("Port", "Gerät %1: der Porttreiber läuft nicht."), {{device}}};
    default:
      // The system's own text: rare enough that it need not be translated.
      return {KELVORA_TEXT("Port", "Gerät %1: %2"), {{device}, {std::strerror(error)}}};
  }
}

std::string PortProblemText(const std::string& portName, int error) {
  return PortProblem(portName, error).German();
}

}  // namespace kelvora::platform
