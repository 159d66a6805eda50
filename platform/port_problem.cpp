// SPDX-License-Identifier: MIT
#include "platform/port_problem.h"

#include <cerrno>
#include <cstring>

#include "driver/os/ports_file.h"

namespace kelvora::platform {

std::string PortProblemText(const std::string& portName, int error) {
  const bool serial = !portName.empty() && (portName[0] == 'C' || portName[0] == 'c');
  // Names the driver never gets, or that reach no device file, have no device to name.
  if (error == EINVAL)
    return portName + " ist kein gültiger Portname (COM1 bis COM9, LPT, LPT1 bis LPT3).";
  if (error == EADDRNOTAVAIL)
    return "LPT ohne Nummer hat keine Portadresse. Abhilfe: LPT1, LPT2 oder LPT3 wählen.";
  std::string device = kelvora::drvos::DevicePathFor(portName.c_str());
  if (device.empty()) device = portName;
  const std::string head = "Gerät " + device + ": ";
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return head +
             "nicht vorhanden. Ist der Adapter eingesteckt? kelvora-ports zeigt die Ports "
             "dieses Rechners.";
    case EACCES:
    case EPERM: {
      const char* group = serial ? "dialout" : "lp";
      return head + "Zugriff verweigert. Abhilfe: den Benutzer in die Gruppe " + group +
             " aufnehmen (sudo usermod -aG " + group + " $USER) und neu anmelden.";
    }
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
      return head + "der Porttreiber läuft nicht.";
    default:
      // The system's own text: rare enough that it need not be translated.
      return head + std::strerror(error);
  }
}

}  // namespace kelvora::platform
