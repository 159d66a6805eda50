// SPDX-License-Identifier: MIT
// Why a port could not be switched on, on Windows: the port is the device itself.
#include <cerrno>
#include <cstring>

#include "platform/port_problem.h"

namespace kelvora::platform {

UserText PortProblem(const std::string& portName, int error) {
  if (error == EINVAL) {
    return {
        KELVORA_TEXT("Port", "%1 ist kein gültiger Portname (COM1 bis COM9, LPT, LPT1 bis LPT3)."),
        {{portName}}};
  }
  if (error == EADDRNOTAVAIL) {
    return {KELVORA_TEXT(
        "Port", "LPT ohne Nummer hat keine Portadresse. Abhilfe: LPT1, LPT2 oder LPT3 wählen.")};
  }
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return {KELVORA_TEXT("Port",
                           "Gerät %1: nicht vorhanden. Ist der Adapter eingesteckt? Der "
                           "Geräte-Manager zeigt unter \"Anschlüsse (COM & LPT)\" die Ports "
                           "dieses Rechners."),
              {{portName}}};
    case EACCES:
    case EPERM:
      return {KELVORA_TEXT("Port", "Gerät %1: Zugriff verweigert."), {{portName}}};
    case EBUSY:
    case EAGAIN:
      return {KELVORA_TEXT("Port", "Gerät %1: belegt. Ein anderes Programm hält den Port offen."),
              {{portName}}};
    case ETIMEDOUT:
      return {KELVORA_TEXT("Port",
                           "Gerät %1: keine Antwort der Interface-Box. Ist sie eingeschaltet und "
                           "an diesem Port angeschlossen?"),
              {{portName}}};
    case ENOTTY:
      return {KELVORA_TEXT("Port", "Gerät %1: kein serieller Port."), {{portName}}};
    case EIO:
      return {KELVORA_TEXT("Port",
                           "Gerät %1: Ein-/Ausgabefehler. Gibt es an diesem Port eine "
                           "Schnittstelle?"),
              {{portName}}};
    case ESRCH:
      return {KELVORA_TEXT("Port", "Gerät %1: der Porttreiber (Dienst WinRT) läuft nicht."),
              {{portName}}};
    default:
      return {KELVORA_TEXT("Port", "Gerät %1: %2"), {{portName}, {std::strerror(error)}}};
  }
}

std::string PortProblemText(const std::string& portName, int error) {
  return PortProblem(portName, error).German();
}

}  // namespace kelvora::platform
