// SPDX-License-Identifier: MIT
// Why a port could not be switched on, on Windows: the port is the device itself.
#include <cerrno>
#include <cstring>

#include "platform/port_problem.h"

namespace kelvora::platform {

std::string PortProblemText(const std::string& portName, int error) {
  if (error == EINVAL)
    return portName + " ist kein gültiger Portname (COM1 bis COM9, LPT, LPT1 bis LPT3).";
  if (error == EADDRNOTAVAIL)
    return "LPT ohne Nummer hat keine Portadresse. Abhilfe: LPT1, LPT2 oder LPT3 wählen.";
  const std::string head = "Gerät " + portName + ": ";
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return head +
             "nicht vorhanden. Ist der Adapter eingesteckt? Der Geräte-Manager zeigt unter "
             "\"Anschlüsse (COM & LPT)\" die Ports dieses Rechners.";
    case EACCES:
    case EPERM:
      return head + "Zugriff verweigert.";
    case EBUSY:
    case EAGAIN:
      return head + "belegt. Ein anderes Programm hält den Port offen.";
    case ETIMEDOUT:
      return head +
             "keine Antwort der Interface-Box. Ist sie eingeschaltet und an diesem Port "
             "angeschlossen?";
    case ENOTTY:
      return head + "kein serieller Port.";
    case EIO:
      return head + "Ein-/Ausgabefehler. Gibt es an diesem Port eine Schnittstelle?";
    case ESRCH:
      return head + "der Porttreiber (Dienst WinRT) läuft nicht.";
    default:
      return head + std::strerror(error);
  }
}

}  // namespace kelvora::platform
