// The help pages, German, one per help context of the program's windows and menus.
#include <QString>

#include "platform/help_qt.h"

namespace kelvora::platform {

namespace {

const char* const kStyle =
    "<style>body{font-family:Arial;} h1{font-size:16pt;} h2{font-size:12pt;margin-top:12px;}"
    " td{padding:2px 6px;vertical-align:top;} .k{font-family:'Courier New';}</style>";

const char* const kNav =
    "<p><a href='hilfe:0'>Inhalt</a> &middot; <a href='hilfe:18'>Hauptfenster</a> &middot; "
    "<a href='hilfe:9'>Script</a> &middot; <a href='hilfe:11'>Dateien</a></p><hr>";

const char* const kContents = R"(
<h1>Kelvora für Industrieroboter &ndash; Hilfe</h1>
<p>Kelvora steuert Baukasten-Modelle von Industrierobotern über das Interface. Sie fahren
den Roboter mit der Maus in eine Position, speichern die erreichten Positionen als Zeilen
eines Scripts und lassen das Script einmal oder endlos ablaufen.</p>
<h2>Der erste Start in fünf Schritten</h2>
<ol>
<li>Im Menü <b>Optionen</b> unter <a href='hilfe:6'>Modelle ...</a> das Robotermodell und unter
<a href='hilfe:5'>Schnittstellen ...</a> den Anschluss des Interfaces wählen.</li>
<li><b>EIN</b> drücken: das Interface wird eingeschaltet.</li>
<li><b>STARTEN</b> drücken: der Roboter fährt alle Achsen an ihre Endschalter (Home).</li>
<li>Mit den blauen Pfeilen im Fahrfeld die Achsen fahren, mit <b>+</b> und <b>-</b> den
Greifer schließen und öffnen, dann <b>Position Anfügen</b>.</li>
<li><b>Script Starten</b> fährt alle gespeicherten Positionen nacheinander an.</li>
</ol>
<h2>Themen</h2>
<ul>
<li><a href='hilfe:18'>Das Hauptfenster und die Betriebsarten</a></li>
<li><a href='hilfe:9'>Die Scriptliste</a></li>
<li><a href='hilfe:11'>Menü Datei: Scripts anlegen, öffnen und speichern</a></li>
<li><a href='hilfe:16'>Die Menüs Optionen und ?</a></li>
<li><a href='hilfe:6'>Modelle auswählen</a></li>
<li><a href='hilfe:5'>Schnittstelle auswählen</a></li>
<li><a href='hilfe:3'>Das Interface Panel</a></li>
<li><a href='hilfe:12'>Über Kelvora</a></li>
</ul>
)";

const char* const kMain = R"(
<h1>Das Hauptfenster</h1>
<p>Oben steht das aktuelle Modell. Darunter links die <a href='hilfe:9'>Scriptliste</a>, daneben
die Knöpfe zum Speichern von Positionen und die Fahraufträge. Unten links die Modelldaten, in
der Mitte das Fahrfeld mit der Skizze des Roboters, rechts die Statusspalte.</p>
<h2>Betriebsarten</h2>
<p>Das farbige Feld in der Statusspalte zeigt, was das Programm gerade erwartet. Der große Knopf
darunter wechselt mit der Betriebsart seine Aufgabe:</p>
<table border='1' cellspacing='0'>
<tr><td><b>EINschalten</b></td><td>Knopf <b>EIN</b> schaltet das Interface ein. Nur jetzt ist das
Menü Optionen da. Meldet das Programm &bdquo;Inpterfaceproblem mit : COM1&ldquo;, ist das Interface
nicht angeschlossen, nicht eingeschaltet oder an einem anderen Anschluss: Anschluss prüfen,
unter Optionen &rarr; Schnittstellen ... wählen und wieder EIN drücken.</td></tr>
<tr><td><b>Home anfahren</b></td><td>Knopf <b>STARTEN</b> fährt alle Achsen an ihre Endschalter.
Erst danach kennt das Programm die Positionen. Ein Script kann schon jetzt gestartet werden.</td></tr>
<tr><td><b>TeachIn</b></td><td>Der Roboter ist bereit: fahren, Positionen speichern, Scripts
abfahren. Knopf <b>HOME</b> fährt wieder an die Endschalter und setzt alle Positionen auf 0.</td></tr>
<tr><td><b>RUN</b></td><td>Der Roboter fährt. Knopf <b>HALT</b> hält ihn sofort an; auch die
Taste <b>Esc</b> beendet die laufende Bewegung. Das Fenster lässt sich jetzt nicht schließen.</td></tr>
</table>
<h2>Fahren mit der Maus</h2>
<p>Die blauen Quadrate im Fahrfeld sind Pfeile. Solange Sie die Maustaste auf einem Pfeil
gedrückt halten, fährt die Achse in diese Richtung; beim Loslassen hält sie an, auch wenn der
Mauszeiger den Pfeil inzwischen verlassen hat. Die Achse hält auch an ihrem Endschalter oder
an ihrer Höchstposition, bei Esc, und wenn während des Fahrens ein anderes Fenster aktiv wird
oder ein Knopf über die Tastatur betätigt wird; dieser Befehl wird dann nicht ausgeführt.
Die Zahlen zeigen die Positionen in Impulsen vom Endschalter aus.</p>
<ul><li>Säule: Pfeile links und rechts in der Ellipse.</li>
<li>Arm vor/zurück: Pfeile an den Enden des waagerechten Balkens.</li>
<li>Arm auf/ab: Pfeile oben und unten am senkrechten Balken.</li>
<li>Wagen (nur Rob5): Pfeile am unteren Balken.</li></ul>
<h2>Greifer und Zusatzausgänge</h2>
<p><b>+</b> schließt den Greifer (oder schaltet den Zusatzmotor ein), <b>-</b> öffnet ihn (oder
schaltet aus). Beim Modell Rob5 schalten die Balken M6 und M7 die Ausgänge 6 und 7; M8 wartet
auf den Eingang 11 (+ bis er ein ist, - bis er aus ist). Der zuletzt gewählte Zustand wird in
die nächste gespeicherte Scriptzeile übernommen.</p>
<h2>Anzeige</h2>
<p>Grün leuchtende Teile der Skizze zeigen laufende Motoren. Der Kreis oben rechts ist grün,
solange das Interface antwortet, und rot, wenn es nicht mehr antwortet.</p>
<h2>Beenden</h2>
<p><b>Abbrechen</b> bzw. <b>ENDE</b> beendet das Programm: die Einstellungen werden gespeichert,
ein geändertes Script kann gespeichert werden, alle Motoren werden ausgeschaltet.</p>
)";

const char* const kScript = R"(
<h1>Die Scriptliste</h1>
<p>Jede Zeile ist eine Position: die Positionen der Achsen in Impulsen und am Ende der Zustand
des Greifers (1 zu, 0 auf). Beim Modell Rob5 folgen Wagen, Greifer und die Ausgänge M6, M7 und
M8. Die markierte Zeile ist die, mit der die Knöpfe arbeiten. Ein neues Script beginnt mit der
Nullzeile; sie fährt alle Achsen an die Endschalter und öffnet den Greifer.</p>
<h2>Positionen speichern</h2>
<table border='1' cellspacing='0'>
<tr><td>Position Speichern</td><td>überschreibt die markierte Zeile mit der aktuellen Position</td></tr>
<tr><td>Position Einfügen</td><td>fügt die aktuelle Position vor der markierten Zeile ein</td></tr>
<tr><td>Position Anfügen</td><td>hängt die aktuelle Position am Ende an</td></tr>
<tr><td>Position Löschen</td><td>löscht die markierte Zeile (die letzte Zeile bleibt immer)</td></tr>
</table>
<h2>Abfahren</h2>
<p><b>Script Starten</b> fährt alle Zeilen von oben nach unten ab, mit <b>Wiederholen</b> endlos,
bis Sie HALT drücken. Während des Ablaufs können Sie eine andere Zeile markieren; es geht dann mit
der Zeile danach weiter. <b>&lt;</b> und <b>&gt;</b> fahren die Zeile vor bzw. nach der
markierten an, <b>Postion Anfahren</b> die markierte selbst.</p>
<p>Eine Zeile, die keine Zahlen enthält, meldet &bdquo;... ist kein gültiger Integerwert&ldquo;;
das Programm bleibt dann in RUN, bis Sie HALT drücken.</p>
)";

const char* const kFiles = R"(
<h1>Menü Datei</h1>
<table border='1' cellspacing='0'>
<tr><td>Neu</td><td>beginnt ein neues Script mit der Nullzeile (ohne Rückfrage).</td></tr>
<tr><td>Öffnen</td><td>lädt ein gespeichertes Script.</td></tr>
<tr><td>Speichern</td><td>speichert das Script unter seinem Namen im Programmordner; ein neues
Script fragt nach einem Namen.</td></tr>
<tr><td>Speichern unter</td><td>speichert unter einem neuen Namen.</td></tr>
<tr><td>Beenden</td><td>beendet das Programm.</td></tr>
</table>
<p>Script-Dateien sind Textdateien mit der Endung RB und der Ziffer des Modells, zum Beispiel
<span class='k'>DEMO.RB3</span> für Rob3. Jede Zeile steht in festen Spalten; Sie können die
Dateien auch mit einem Texteditor ansehen. Der Fenstertitel zeigt den Namen des Scripts.</p>
<p>Beim Beenden fragt das Programm &bdquo;Script-Datei Speichern?&ldquo;, wenn das Script geändert
wurde.</p>
)";

const char* const kMenus = R"(
<h1>Die Menüs Optionen und ?</h1>
<p><b>Optionen</b> gibt es nur, bis das Interface eingeschaltet ist; danach ändern sich Modell
und Anschluss nicht mehr, bis das Programm neu gestartet wird.</p>
<ul><li><a href='hilfe:5'>Schnittstellen ...</a>: Anschluss des Interfaces.</li>
<li><a href='hilfe:6'>Modelle ...</a>: Robotermodell und Arbeitsraum.</li></ul>
<p><b>?</b> enthält diese <a href='hilfe:0'>Hilfe</a> und <a href='hilfe:12'>About</a>. F1 öffnet
die Hilfe zu dem Element, das gerade den Fokus hat.</p>
)";

const char* const kModels = R"(
<h1>Modelle</h1>
<p>Wählen Sie einen der neun Modelleinträge Rob1 bis Rob9. Für das Modell wird festgelegt, ob
Motor 4 einen Greifer fährt (<b>G - Greifer</b>, mit Endschalter und Impulszähler) oder nur
ein- und ausgeschaltet wird (<b>Z - Zusatz</b>), eine Beschreibung und der Arbeitsraum: die
höchste Position jeder Achse in Impulsen vom Endschalter. Ein Wert von 9999 bedeutet: diese
Achse gibt es nicht.</p>
<p>Rob5 ist das Modell mit Fahrwagen; es braucht das Erweiterungsmodul des Interfaces und hat die
Ausgänge M6, M7 und den Eingang 11 (M8).</p>
<p>Die Werte werden beim Beenden in der Datei Kelvora.INI im Programmordner gespeichert.</p>
)";

const char* const kPorts = R"(
<h1>Schnittstelle</h1>
<p>Wählen Sie den Anschluss, an dem das Interface hängt: COM1 bis COM4 für das serielle
Interface, LPT1 bis LPT3 (oder LPT) für das parallele. Beim parallelen Interface stellt der
Verzögerungsfaktor den Takt ein; wenn Eingänge flackern, hilft ein größerer Wert.</p>
<p>Unter Linux ist COM1 das Gerät /dev/ttyS0; ein USB-Adapter wird mit der Umgebungsvariablen
<span class='k'>ZQBREL_COM1=/dev/ttyUSB0</span> zugeordnet. Ohne Roboter können Sie mit
<span class='k'>kelvora-sim</span> ein virtuelles Interface verwenden.</p>
)";

const char* const kPanel = R"(
<h1>Das Interface Panel</h1>
<p>Das Panel zeigt das Interface direkt: die Eingänge (E1 bis E8, mit Erweiterung bis E16),
die Analogwerte und die Motoren. Halten Sie die Maus auf L oder R eines Motors, läuft er in
diese Richtung, bis Sie loslassen; mit gedrückter Strg-Taste bleibt er an, bis Sie auf sein
Feld M1 bis M8 klicken. HALT schaltet alle Motoren aus. EXIT schließt das Panel und schaltet
dabei die Motoren aus, die im Panel eingeschaltet wurden; die Ausgänge, die das Hauptfenster
geschaltet hat (M6, M7, der Zusatzmotor), bleiben, wie sie sind. Esc und Enter schließen das
Panel nicht. Das Panel ändert die gespeicherten Positionen nicht &ndash; fahren Sie danach HOME,
wenn Sie Achsen bewegt haben.</p>
)";

const char* const kAbout = R"(
<h1>Über Kelvora</h1>
<p>Das Fenster About zeigt Namen und Version des Programms. Kelvora besteht aus dem Programm
und der Treiberbibliothek zqBrel20, die das Interface am seriellen oder parallelen Anschluss
bedient.</p>
)";

}  // namespace

QString HelpPage(int context) {
  const char* body = nullptr;
  switch (context) {
    case 0:
      body = kContents;
      break;
    case 3:
      body = kPanel;
      break;
    case 5:
      body = kPorts;
      break;
    case 6:
      body = kModels;
      break;
    case 9:
      body = kScript;
      break;
    case 11:
      body = kFiles;
      break;
    case 12:
      body = kAbout;
      break;
    case 16:
      body = kMenus;
      break;
    case 18:
      body = kMain;
      break;
    default:
      return QString();
  }
  return QStringLiteral("<html><head>") + QString::fromUtf8(kStyle) +
         QStringLiteral("</head><body>") + QString::fromUtf8(kNav) + QString::fromUtf8(body) +
         QStringLiteral("</body></html>");
}

}  // namespace kelvora::platform
