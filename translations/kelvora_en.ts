<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>Axis</name>
    <message>
        <source>Säule</source>
        <translation>Column</translation>
    </message>
    <message>
        <source>Arm horizontal</source>
        <translation>Horizontal arm</translation>
    </message>
    <message>
        <source>Arm vertikal</source>
        <translation>Vertical arm</translation>
    </message>
    <message>
        <source>Greifer</source>
        <translation>Gripper</translation>
    </message>
    <message>
        <source>Wagen</source>
        <translation>Carriage</translation>
    </message>
</context>
<context>
    <name>Help</name>
    <message>
        <source>Kelvora : Hilfe</source>
        <translation>Kelvora : Help</translation>
    </message>
</context>
<context>
    <name>Mode</name>
    <message>
        <source>EINschalten</source>
        <translation>Switch ON</translation>
    </message>
    <message>
        <source>Home anfahren</source>
        <translation>Go Home</translation>
    </message>
    <message>
        <source>TeachIn</source>
        <translation>Teach-In</translation>
    </message>
    <message>
        <source>RUN</source>
        <translation>RUN</translation>
    </message>
    <message>
        <source>EIN</source>
        <translation>ON</translation>
    </message>
    <message>
        <source>STARTEN</source>
        <translation>START</translation>
    </message>
    <message>
        <source>HOME</source>
        <translation>HOME</translation>
    </message>
    <message>
        <source>HALT</source>
        <translation>HALT</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>ENDE</source>
        <translation>EXIT</translation>
    </message>
</context>
<context>
    <name>ModelData</name>
    <message>
        <source>Modelldaten</source>
        <translation>Model data</translation>
    </message>
    <message>
        <source>Modell : %1</source>
        <translation>Model : %1</translation>
    </message>
    <message>
        <source>Port : %1</source>
        <translation>Port : %1</translation>
    </message>
    <message>
        <source>Arbeitsraum</source>
        <translation>Working range</translation>
    </message>
    <message>
        <source>Säule : %1</source>
        <translation>Column : %1</translation>
    </message>
    <message>
        <source>ArmH : %1</source>
        <translation>Arm H : %1</translation>
    </message>
    <message>
        <source>ArmV : %1</source>
        <translation>Arm V : %1</translation>
    </message>
    <message>
        <source>Wagen : %1</source>
        <translation>Carriage : %1</translation>
    </message>
    <message>
        <source>Greifer : %1</source>
        <translation>Gripper : %1</translation>
    </message>
</context>
<context>
    <name>Port</name>
    <message>
        <source>%1 ist kein gültiger Portname (COM1 bis COM9, LPT, LPT1 bis LPT3).</source>
        <translation>%1 is not a valid port name (COM1 to COM9, LPT, LPT1 to LPT3).</translation>
    </message>
    <message>
        <source>LPT ohne Nummer hat keine Portadresse. Abhilfe: LPT1, LPT2 oder LPT3 wählen.</source>
        <translation>LPT without a number has no port address. To fix this, choose LPT1, LPT2 or LPT3.</translation>
    </message>
    <message>
        <source>Gerät %1: nicht vorhanden. Ist der Adapter eingesteckt? kelvora-ports zeigt die Ports dieses Rechners.</source>
        <translation>Device %1: not present. Is the adapter plugged in? kelvora-ports lists the ports of this computer.</translation>
    </message>
    <message>
        <source>Gerät %1: Zugriff verweigert. Abhilfe: den Benutzer in die Gruppe %2 aufnehmen (sudo usermod -aG %2 $USER) und neu anmelden.</source>
        <translation>Device %1: permission denied. To fix this, add the user to the group %2 (sudo usermod -aG %2 $USER) and log in again.</translation>
    </message>
    <message>
        <source>Gerät %1: belegt. Ein anderes Programm hält den Port offen.</source>
        <translation>Device %1: busy. Another program has the port open.</translation>
    </message>
    <message>
        <source>Gerät %1: keine Antwort der Interface-Box. Ist sie eingeschaltet und an diesem Port angeschlossen?</source>
        <translation>Device %1: the interface box does not answer. Is it switched on and connected to this port?</translation>
    </message>
    <message>
        <source>Gerät %1: kein serieller Port.</source>
        <translation>Device %1: not a serial port.</translation>
    </message>
    <message>
        <source>Gerät %1: Ein-/Ausgabefehler. Gibt es an diesem Port eine Schnittstelle?</source>
        <translation>Device %1: input/output error. Is there an interface on this port?</translation>
    </message>
    <message>
        <source>Gerät %1: der Porttreiber läuft nicht.</source>
        <translation>Device %1: the port driver is not running.</translation>
    </message>
    <message>
        <source>Gerät %1: %2</source>
        <translation>Device %1: %2</translation>
    </message>
    <message>
        <source>Gerät %1: nicht vorhanden. Ist der Adapter eingesteckt? Der Geräte-Manager zeigt unter &quot;Anschlüsse (COM &amp; LPT)&quot; die Ports dieses Rechners.</source>
        <translation>Device %1: not present. Is the adapter plugged in? Device Manager lists the ports of this computer under &quot;Ports (COM &amp; LPT)&quot;.</translation>
    </message>
    <message>
        <source>Gerät %1: Zugriff verweigert.</source>
        <translation>Device %1: access denied.</translation>
    </message>
    <message>
        <source>Gerät %1: der Porttreiber (Dienst WinRT) läuft nicht.</source>
        <translation>Device %1: the port driver (service WinRT) is not running.</translation>
    </message>
</context>
<context>
    <name>Program</name>
    <message>
        <source>Kelvora für Industrieroboter</source>
        <translation>Kelvora for Industrial Robots</translation>
    </message>
    <message>
        <source>Unbekannter Fehler</source>
        <translation>Unknown error</translation>
    </message>
</context>
<context>
    <name>Prompts</name>
    <message>
        <source>&amp;Ja</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>&amp;Nein</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Fehler</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Rob Script (%1)</source>
        <translation>Robot script (%1)</translation>
    </message>
</context>
<context>
    <name>Robot</name>
    <message>
        <source>Das Interface antwortet nicht mehr, während ein Motor lief. Bis es wieder antwortet oder ausgeschaltet wird, kann es seine letzten Ausgänge behalten: Motoren laufen dann weiter</source>
        <translation>The interface stopped answering while a motor was running. Until it answers again or is switched off, it may keep its last outputs: motors then keep running</translation>
    </message>
    <message>
        <source>Achse %1 bewegt sich nicht, obwohl ihr Motor läuft: Motor abgeschaltet, Position unbekannt</source>
        <translation>Axis %1 does not move although its motor is running: motor switched off, position unknown</translation>
    </message>
    <message>
        <source>Die Eingänge der Achse %1 passen nicht zu ihrem Motor (von Hand bewegt oder gestörte Verbindung): Position unbekannt</source>
        <translation>The inputs of axis %1 do not match its motor (moved by hand, or a faulty connection): position unknown</translation>
    </message>
    <message>
        <source>Bewegung angehalten: das Programm hat die Bewegung länger als 100 ms nicht überwacht. Die Positionen der bewegten Achsen sind unbekannt</source>
        <translation>Movement stopped: the program did not watch the movement for more than 100 ms. The positions of the moving axes are unknown</translation>
    </message>
</context>
<context>
    <name>Script</name>
    <message>
        <source>&apos;%1&apos; ist kein gültiger Integerwert</source>
        <translation>&apos;%1&apos; is not a valid integer value</translation>
    </message>
    <message>
        <source>Der Index der Liste überschreitet das Maximum (%1)</source>
        <translation>The list index exceeds the maximum (%1)</translation>
    </message>
    <message>
        <source>Datei %1 kann nicht geöffnet werden</source>
        <translation>File %1 cannot be opened</translation>
    </message>
    <message>
        <source>Datei %1 kann nicht erstellt werden</source>
        <translation>File %1 cannot be created</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>nach %1 kann nicht geschrieben werden</source>
        <translation>cannot write to %1</translation>
    </message>
</context>
<context>
    <name>TfrmAbout</name>
    <message>
        <source>Kelvora : About</source>
        <translation>Kelvora : About</translation>
    </message>
    <message>
        <source>Baukasten-Industrieroboter : TeachIn</source>
        <translation>Construction-kit industrial robots : Teach-In</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TfrmMain</name>
    <message>
        <source>Neu</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Anlengen eines neuen Scripts</source>
        <translation>Start a new script</translation>
    </message>
    <message>
        <source>&amp;Öffnen</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>Öffnen eines vorhandenen Scripts</source>
        <translation>Open an existing script</translation>
    </message>
    <message>
        <source>&amp;Speichern</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>Speichern des aktuellen Scripts</source>
        <translation>Save the current script</translation>
    </message>
    <message>
        <source>Speichern &amp;unter</source>
        <translation>Save &amp;As</translation>
    </message>
    <message>
        <source>Speichern des aktuellen Scripts unter wählbaren Namen</source>
        <translation>Save the current script under a name of your choice</translation>
    </message>
    <message>
        <source>Beenden</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>&amp;Schnittstellen ...</source>
        <translation>&amp;Interfaces ...</translation>
    </message>
    <message>
        <source>Auswahl des Interface-Anschlusses</source>
        <translation>Choose the port of the interface</translation>
    </message>
    <message>
        <source>Modelle ...</source>
        <translation>Models ...</translation>
    </message>
    <message>
        <source>Auswahl des aktuellen Modells</source>
        <translation>Choose the current model</translation>
    </message>
    <message>
        <source>&amp;Hilfe</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>Script</source>
        <translation>Script</translation>
    </message>
    <message>
        <source>Script-Buttons</source>
        <translation>Script buttons</translation>
    </message>
    <message>
        <source>aktuelle Position in markierte Sciptzeile speichern</source>
        <translation>Store the current position in the marked script line</translation>
    </message>
    <message>
        <source>Position &amp;Speichern</source>
        <translation>&amp;Store Position</translation>
    </message>
    <message>
        <source>aktuelle Position vor markierte Scriptzeile speichern</source>
        <translation>Store the current position before the marked script line</translation>
    </message>
    <message>
        <source>Position &amp;Einfügen</source>
        <translation>&amp;Insert Position</translation>
    </message>
    <message>
        <source>aktuelle Position am Scriptende speichern</source>
        <translation>Store the current position at the end of the script</translation>
    </message>
    <message>
        <source>Position &amp;Anfügen</source>
        <translation>&amp;Add Position</translation>
    </message>
    <message>
        <source>markierte Scriptzeile löschen</source>
        <translation>Delete the marked script line</translation>
    </message>
    <message>
        <source>Position &amp;Löschen</source>
        <translation>&amp;Delete Position</translation>
    </message>
    <message>
        <source>Fahraufträge</source>
        <translation>Runs</translation>
    </message>
    <message>
        <source>Script, beginnend bei Position 1 sequetiell abfahren</source>
        <translation>Run the script line by line, starting at position 1</translation>
    </message>
    <message>
        <source>Script Starten</source>
        <translation>Run Script</translation>
    </message>
    <message>
        <source>Sript endlos wiederholen, Ende durch HALT</source>
        <translation>Repeat the script endlessly until HALT</translation>
    </message>
    <message>
        <source>Wiederholen</source>
        <translation>Repeat</translation>
    </message>
    <message>
        <source>Anfahren der Position vor der markierten Scriptzeile</source>
        <translation>Go to the position before the marked script line</translation>
    </message>
    <message>
        <source>Anfahren der Position nach der markierten Scriptzeile</source>
        <translation>Go to the position after the marked script line</translation>
    </message>
    <message>
        <source>Anfahren der markierten Scripzeile</source>
        <translation>Go to the marked script line</translation>
    </message>
    <message>
        <source>Postion Anfahren</source>
        <translation>Go to Position</translation>
    </message>
    <message>
        <source>Fahren des Robots</source>
        <translation>Drive the robot</translation>
    </message>
    <message>
        <source>Säule dreht(grün)</source>
        <translation>Column turning (green)</translation>
    </message>
    <message>
        <source>Arm auf/ab(grün)</source>
        <translation>Arm up/down (green)</translation>
    </message>
    <message>
        <source>Arm vor/zurück(grün)</source>
        <translation>Arm forward/back (green)</translation>
    </message>
    <message>
        <source>Greifer auf/zu(grün)</source>
        <translation>Gripper open/close (green)</translation>
    </message>
    <message>
        <source>Position Säule</source>
        <translation>Column position</translation>
    </message>
    <message>
        <source>Positon Arm horizontal</source>
        <translation>Horizontal arm position</translation>
    </message>
    <message>
        <source>Position Arm vertikal</source>
        <translation>Vertical arm position</translation>
    </message>
    <message>
        <source>Säule links</source>
        <translation>Column left</translation>
    </message>
    <message>
        <source>Säule rechts</source>
        <translation>Column right</translation>
    </message>
    <message>
        <source>Arm zurück</source>
        <translation>Arm back</translation>
    </message>
    <message>
        <source>Arm vor</source>
        <translation>Arm forward</translation>
    </message>
    <message>
        <source>Arm auf</source>
        <translation>Arm up</translation>
    </message>
    <message>
        <source>Arm ab</source>
        <translation>Arm down</translation>
    </message>
    <message>
        <source>Greifer schließen, Zusatz an</source>
        <translation>Close the gripper, extra motor on</translation>
    </message>
    <message>
        <source>Greifer öffnen, Zusatz an</source>
        <translation>Open the gripper, extra motor off</translation>
    </message>
    <message>
        <source>Interface-Status OK (grün)</source>
        <translation>Interface status OK (green)</translation>
    </message>
    <message>
        <source>Status-Hinweis</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>PrgModus</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>Kommando : Anzeige des Interface Panels (modal)</source>
        <translation>Command : show the Interface Panel (modal)</translation>
    </message>
    <message>
        <source>InterfacePanel</source>
        <translation>Interface Panel</translation>
    </message>
    <message>
        <source>Kommando : Programm beenden</source>
        <translation>Command : quit the program</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>Kommando : Einschalten Interface, Anfahren Home, HALT</source>
        <translation>Command : switch the interface on, go home, HALT</translation>
    </message>
    <message>
        <source>EIN</source>
        <translation>ON</translation>
    </message>
    <message>
        <source>Datei</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Optionen</source>
        <translation>Options</translation>
    </message>
</context>
<context>
    <name>TfrmModell</name>
    <message>
        <source>Kelvora : Modelle</source>
        <translation>Kelvora : Models</translation>
    </message>
    <message>
        <source>Modelldaten</source>
        <translation>Model Data</translation>
    </message>
    <message>
        <source>G - Greifer</source>
        <translation>G - Gripper</translation>
    </message>
    <message>
        <source>Z - Zusatz</source>
        <translation>Z - Extra motor</translation>
    </message>
    <message>
        <source>Arbeitsraum</source>
        <translation>Working Range</translation>
    </message>
    <message>
        <source>Säule</source>
        <translation>Column</translation>
    </message>
    <message>
        <source>Impulse nach rechts</source>
        <translation>pulses to the right</translation>
    </message>
    <message>
        <source>Arm vertikal</source>
        <translation>Vertical arm</translation>
    </message>
    <message>
        <source>Impulse nach vorn</source>
        <translation>pulses forward</translation>
    </message>
    <message>
        <source>Arm horizontal</source>
        <translation>Horizontal arm</translation>
    </message>
    <message>
        <source>Impulse nach unten</source>
        <translation>pulses down</translation>
    </message>
    <message>
        <source>Greifer</source>
        <translation>Gripper</translation>
    </message>
    <message>
        <source>Impulse zum Schließen</source>
        <translation>pulses to close</translation>
    </message>
    <message>
        <source>Wagen</source>
        <translation>Carriage</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TfrmPanel</name>
    <message>
        <source>BrelFace : Interface Panel</source>
        <translation>BrelFace : Interface Panel</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>Input</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Output</translation>
    </message>
    <message>
        <source>Analog</source>
        <translation>Analog</translation>
    </message>
    <message>
        <source>PORT</source>
        <translation>PORT</translation>
    </message>
    <message>
        <source>EXIT</source>
        <translation>EXIT</translation>
    </message>
    <message>
        <source>HALT</source>
        <translation>HALT</translation>
    </message>
</context>
<context>
    <name>TfrmSchnitt</name>
    <message>
        <source>Kelvora : Schnittstelle</source>
        <translation>Kelvora : Interface</translation>
    </message>
    <message>
        <source>Schnittstellendaten</source>
        <translation>Interface Data</translation>
    </message>
    <message>
        <source>Anschluß über COM oder LPT</source>
        <translation>Connected to COM or LPT</translation>
    </message>
    <message>
        <source>Verzögerungfaktor (1 - 99, Pentium 200 : 10)</source>
        <translation>Delay factor (1 - 99, Pentium 200 : 10)</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>kelvora::app::TfrmMain</name>
    <message>
        <source>Inpterfaceproblem mit : %1</source>
        <translation>Interface problem on %1</translation>
    </message>
    <message>
        <source>Script-Datei Speichern?</source>
        <translation>Save the script file?</translation>
    </message>
    <message>
        <source>Neu</source>
        <translation>New</translation>
    </message>
    <message>
        <source>Kelvora: das geänderte Script konnte nicht gesichert werden (%1)</source>
        <translation>Kelvora: the changed script could not be saved (%1)</translation>
    </message>
    <message>
        <source>Kelvora: geändertes Script gesichert in %1</source>
        <translation>Kelvora: changed script saved in %1</translation>
    </message>
    <message>
        <source>Beim letzten Programmende durch ein Signal wurde ein geändertes Script gesichert:</source>
        <translation>When a signal last ended the program, a changed script was saved:</translation>
    </message>
</context>
<context>
    <name>kelvora::settings::TfrmAbout</name>
    <message>
        <source>Erstellt mit %1 und Qt %2</source>
        <translation>Built with %1 and Qt %2</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Autor : Kelvora-Entwicklerteam</source>
        <translation>Author : the Kelvora developers</translation>
    </message>
</context>
<context>
    <name>kelvora::settings::TfrmModell</name>
    <message>
        <source>Fehlerhafte Werte für den Arbeitsraum</source>
        <translation>Invalid values for the working range</translation>
    </message>
</context>
<context>
    <name>kelvora::settings::TfrmSchnitt</name>
    <message>
        <source>Fehlerhafter Wert für Verzögerungsfaktor</source>
        <translation>Invalid value for the delay factor</translation>
    </message>
</context>
</TS>
