// SPDX-License-Identifier: MIT
// The windows as their forms describe them: every named control with its geometry,
// caption and hint, as the program shows it when the window has just been made. The
// tables are the description of the windows; a control added, renamed, moved or
// re-worded in a form shows up here.
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMap>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QStyle>
#include <QStyleOption>
#include <QTemporaryDir>
#include <QWidget>
#include <span>

#include <gtest/gtest.h>

#include "access/brel_face.h"
#include "access/brel_mot_list.h"
#include "access/frm_panel.h"
#include "app/frm_main.h"
#include "app/language_qt.h"
#include "platform/profile.h"
#include "settings/frm_about.h"
#include "settings/frm_modell.h"
#include "settings/frm_schnitt.h"

namespace kelvora::testing {
namespace {

// A box of {x, y, 0, 0} is a label that sizes itself to its text at (x, y); a negative x
// places its right edge at -x. An empty box is not checked: the window's own size, menus
// and menu items, the main window's client area (placed below the menu bar). A caption
// of nullptr is filled at run time (settings, version, mode, script name).
struct Control {
  const char* name;
  QRect box;
  const char* caption;
  const char* hint;
};

const Control kAbout[] = {
    {"frmAbout", {}, "Kelvora : About", ""},
    {"Image1", {24, 20, 32, 32}, "", ""},
    {"Label1", {72, 16, 290, 36}, "KelvoraIn", ""},
    {"Label2", {24, 68, 337, 22}, "Baukasten-Industrieroboter : TeachIn", ""},
    {"Label3", {8, 104, 369, 18}, "Autor : Kelvora-Entwicklerteam", ""},
    {"Label5", {8, 128, 369, 18}, nullptr, ""},
    {"Label4", {8, 160, 369, 18}, nullptr, ""},
    {"cmdEnde", {144, 200, 97, 29}, "OK", ""},
};
const Control kSchnitt[] = {
    {"frmSchnitt", {}, "Kelvora : Schnittstelle", ""},
    {"lblTitel", {8, 8, 384, 30}, "Schnittstellendaten", ""},
    {"Label1", {16, 60, 220, 17}, "Anschluß über COM oder LPT", ""},
    {"cboPort", {296, 56, 89, 24}, "", ""},
    {"lblDelay", {16, 104, 270, 17}, "Verzögerungfaktor (1 - 99, Pentium 200 : 10)", ""},
    {"txtDelay", {296, 100, 41, 24}, nullptr, ""},
    {"cmdOK", {96, 160, 97, 29}, "OK", ""},
    {"cmdEnde", {208, 160, 97, 29}, "Abbrechen", ""},
};
const Control kModell[] = {
    {"frmModell", {}, "Kelvora : Modelle", ""},
    {"lblTitel", {8, 8, 402, 30}, "Modelldaten", ""},
    {"cboRob", {8, 48, 81, 24}, "", ""},
    {"cboZusatz", {96, 48, 113, 24}, "", ""},
    {"txtBeschreibung", {216, 48, 194, 24}, nullptr, ""},
    {"GroupBox1", {8, 84, 402, 216}, "Arbeitsraum", ""},
    {"Label1", {16, 28, 110, 17}, "Säule", ""},
    {"txtSauleVon", {136, 28, 24, 17}, "0 - ", ""},
    {"txtSaule", {164, 24, 49, 24}, nullptr, ""},
    {"txtSauleEinheit", {224, 28, 150, 17}, "Impulse nach rechts", ""},
    {"Label2", {16, 64, 110, 17}, "Arm vertikal", ""},
    {"txtArmVVon", {136, 64, 24, 17}, "0 - ", ""},
    {"txtArmV", {164, 60, 49, 24}, nullptr, ""},
    {"txtArmVEinheit", {224, 64, 150, 17}, "Impulse nach vorn", ""},
    {"Label3", {16, 100, 110, 17}, "Arm horizontal", ""},
    {"txtArmHVon", {136, 100, 24, 17}, "0 - ", ""},
    {"txtArmH", {164, 96, 49, 24}, nullptr, ""},
    {"txtArmHEinheit", {224, 100, 150, 17}, "Impulse nach unten", ""},
    {"lblGreifer", {16, 136, 110, 17}, "Greifer", ""},
    {"txtGreiferVon", {136, 136, 24, 17}, "0 - ", ""},
    {"txtGreifer", {164, 132, 49, 24}, nullptr, ""},
    {"txtGreiferEinheit", {224, 136, 150, 17}, "Impulse zum Schließen", ""},
    {"lblWagen", {16, 172, 110, 17}, "Wagen", ""},
    {"txtWagenVon", {136, 172, 24, 17}, "0 - ", ""},
    {"txtWagen", {164, 168, 49, 24}, nullptr, ""},
    {"txtWagenEinheit", {224, 172, 150, 17}, "Impulse nach rechts", ""},
    {"cmdOK", {104, 320, 97, 29}, "OK", ""},
    {"cmdEnde", {216, 320, 97, 29}, "Abbrechen", ""},
};
const Control kPanel[] = {
    {"frmPanel", {}, "BrelFace : Interface Panel", ""},
    {"lblEHex", {32, 40, 57, 18}, "0", ""},
    {"Label47", {40, 64, 0, 0}, "Input", ""},
    {"lblAHex", {32, 120, 57, 18}, "0", ""},
    {"Label48", {40, 152, 0, 0}, "Output", ""},
    {"pnlIn2", {104, 32, 148, 52}, "", ""},
    {"Panel6", {0, 0, 145, 33}, "", ""},
    {"lblEingabe16", {8, 6, 11, 18}, "E", ""},
    {"lblEingabe15", {24, 6, 11, 18}, "E", ""},
    {"lblEingabe14", {40, 6, 11, 18}, "E", ""},
    {"lblEingabe13", {56, 6, 11, 18}, "E", ""},
    {"lblEingabe12", {78, 6, 11, 18}, "E", ""},
    {"lblEingabe11", {95, 6, 11, 18}, "E", ""},
    {"lblEingabe10", {111, 6, 11, 18}, "E", ""},
    {"lblEingabe09", {128, 6, 11, 18}, "E", ""},
    {"Label11", {4, 36, 0, 0}, "E16", ""},
    {"Label12", {-141, 36, 0, 0}, "E9", ""},
    {"pnlIn1", {264, 32, 148, 52}, "", ""},
    {"Panel1", {0, 0, 145, 33}, "", ""},
    {"lblEingabe08", {8, 6, 11, 18}, "E", ""},
    {"lblEingabe07", {24, 6, 11, 18}, "E", ""},
    {"lblEingabe06", {40, 6, 11, 18}, "E", ""},
    {"lblEingabe05", {56, 6, 11, 18}, "E", ""},
    {"lblEingabe04", {78, 6, 11, 18}, "E", ""},
    {"lblEingabe03", {95, 6, 11, 18}, "E", ""},
    {"lblEingabe02", {111, 6, 11, 18}, "E", ""},
    {"lblEingabe01", {128, 6, 11, 18}, "E", ""},
    {"Label9", {4, 36, 0, 0}, "E8", ""},
    {"Label10", {-141, 36, 0, 0}, "E1", ""},
    {"pnlMot2", {104, 112, 148, 65}, "", ""},
    {"Panel8", {0, 0, 145, 33}, "", ""},
    {"lblDreh16", {8, 6, 11, 18}, "R", ""},
    {"lblDreh15", {24, 6, 11, 18}, "L", ""},
    {"lblDreh14", {40, 6, 11, 18}, "R", ""},
    {"lblDreh13", {56, 6, 11, 18}, "L", ""},
    {"lblDreh12", {78, 6, 11, 18}, "R", ""},
    {"lblDreh11", {95, 6, 11, 18}, "L", ""},
    {"lblDreh10", {111, 6, 11, 18}, "R", ""},
    {"lblDreh09", {128, 6, 11, 18}, "L", ""},
    {"lblMotor8", {8, 40, 30, 18}, "M8", ""},
    {"lblMotor7", {40, 40, 30, 18}, "M7", ""},
    {"lblMotor6", {80, 40, 30, 18}, "M6", ""},
    {"lblMotor5", {112, 40, 30, 18}, "M5", ""},
    {"pnlMot1", {264, 112, 148, 65}, "", ""},
    {"Panel4", {0, 0, 145, 33}, "", ""},
    {"lblDreh08", {8, 6, 11, 18}, "R", ""},
    {"lblDreh07", {24, 6, 11, 18}, "L", ""},
    {"lblDreh06", {40, 6, 11, 18}, "R", ""},
    {"lblDreh05", {56, 6, 11, 18}, "L", ""},
    {"lblDreh04", {78, 6, 11, 18}, "R", ""},
    {"lblDreh03", {95, 6, 11, 18}, "L", ""},
    {"lblDreh02", {111, 6, 11, 18}, "R", ""},
    {"lblDreh01", {128, 6, 11, 18}, "L", ""},
    {"lblMotor4", {8, 40, 30, 18}, "M4", ""},
    {"lblMotor3", {40, 40, 30, 18}, "M3", ""},
    {"lblMotor2", {80, 40, 30, 18}, "M2", ""},
    {"lblMotor1", {112, 40, 30, 18}, "M1", ""},
    {"pnlAnalog", {144, 200, 265, 24}, "", ""},
    {"Label53", {8, 3, 0, 0}, "Analog", ""},
    {"Label52", {72, 3, 0, 0}, "EX", ""},
    {"lblAnalogX", {104, 3, 57, 18}, "0", ""},
    {"Label51", {173, 3, 0, 0}, "EY", ""},
    {"lblAnalogY", {200, 3, 57, 18}, "0", ""},
    {"pnlButtons", {144, 248, 273, 30}, "", ""},
    {"shpPort", {0, 1, 20, 20}, "", ""},
    {"lblPort", {24, 2, 0, 0}, "PORT", ""},
    {"cmdEnde", {80, 0, 90, 25}, "EXIT", ""},
    {"cmdAction", {176, 0, 90, 25}, "HALT", ""},
};

const Control kMain[] = {
    {"frmMain", {}, nullptr, ""},
    {"client", {}, "", ""},
    {"lblTitel", {0, 6, 613, 26}, nullptr, ""},
    {"lstScript", {8, 40, 250, 176}, "", "Script"},
    {"pnlPosition", {266, 40, 160, 176}, "", "Script-Buttons"},
    {"cmdPosSpeichern",
     {8, 8, 144, 33},
     "Position &Speichern",
     "aktuelle Position in markierte Sciptzeile speichern"},
    {"cmdPosEinfugen",
     {8, 49, 144, 33},
     "Position &Einfügen",
     "aktuelle Position vor markierte Scriptzeile speichern"},
    {"cmdPosAnfugen",
     {8, 90, 144, 33},
     "Position &Anfügen",
     "aktuelle Position am Scriptende speichern"},
    {"cmdPosLoschen", {8, 131, 144, 33}, "Position &Löschen", "markierte Scriptzeile löschen"},
    {"pnlRun", {434, 40, 171, 176}, "", "Fahraufträge"},
    {"cmdScriptStarten",
     {8, 8, 155, 33},
     "Script Starten",
     "Script, beginnend bei Position 1 sequetiell abfahren"},
    {"chkWiederholen",
     {12, 48, 151, 22},
     "Wiederholen",
     "Sript endlos wiederholen, Ende durch HALT"},
    {"cmdZuruck", {8, 84, 74, 33}, "&<", "Anfahren der Position vor der markierten Scriptzeile"},
    {"cmdVor", {89, 84, 74, 33}, "&>", "Anfahren der Position nach der markierten Scriptzeile"},
    {"cmdAufPosition", {8, 131, 155, 33}, "Postion Anfahren", "Anfahren der markierten Scripzeile"},
    {"memDaten", {8, 224, 160, 200}, "", ""},
    {"pnlFahren", {176, 224, 273, 200}, "", "Fahren des Robots"},
    {"shpSaule", {120, 120, 129, 41}, "", "Säule dreht(grün)"},
    {"shpArmV", {168, 56, 33, 81}, "", "Arm auf/ab(grün)"},
    {"shpArmH", {104, 24, 137, 25}, "", "Arm vor/zurück(grün)"},
    {"shpZusatz", {80, 8, 17, 57}, "", "Greifer auf/zu(grün)"},
    {"shpWagen", {16, 168, 241, 25}, "", "Arm vor/zurück(grün)"},
    {"shpM6", {16, 104, 17, 57}, "", "Greifer auf/zu(grün)"},
    {"shpM7", {40, 104, 17, 57}, "", "Greifer auf/zu(grün)"},
    {"shpM8", {64, 104, 17, 57}, "", "Greifer auf/zu(grün)"},
    {"lblM1Pos", {168, 144, 30, 14}, "0", "Position Säule"},
    {"lblM2Pos", {160, 31, 30, 14}, "0", "Positon Arm horizontal"},
    {"lblM3Pos", {170, 88, 30, 14}, "0", "Position Arm vertikal"},
    {"lblM5Pos", {128, 172, 30, 14}, "0", "Position Säule"},
    {"shpM1L", {134, 132, 17, 17}, "", "Säule links"},
    {"shpM1R", {214, 132, 17, 17}, "", "Säule rechts"},
    {"shpM2L", {220, 28, 17, 17}, "", "Arm zurück"},
    {"sphM2R", {110, 28, 17, 17}, "", "Arm vor"},
    {"shpM3L", {176, 60, 17, 17}, "", "Arm auf"},
    {"shpM3R", {176, 116, 17, 17}, "", "Arm ab"},
    {"shpM5R", {232, 172, 17, 17}, "", "Arm zurück"},
    {"shpM5L", {22, 172, 17, 17}, "", "Arm vor"},
    {"lblM4Zu", {81, 10, 15, 15}, "+", "Greifer schließen, Zusatz an"},
    {"lblM4Auf", {81, 48, 15, 15}, "-", "Greifer öffnen, Zusatz an"},
    {"lblM6Zu", {17, 106, 15, 15}, "+", "Greifer schließen, Zusatz an"},
    {"lblM6Auf", {17, 144, 15, 15}, "-", "Greifer öffnen, Zusatz an"},
    {"lblM7Zu", {41, 106, 15, 15}, "+", "Greifer schließen, Zusatz an"},
    {"lblM7Auf", {41, 144, 15, 15}, "-", "Greifer öffnen, Zusatz an"},
    {"lblM8Zu", {65, 106, 15, 15}, "+", "Greifer schließen, Zusatz an"},
    {"lblM8Auf", {65, 144, 15, 15}, "-", "Greifer öffnen, Zusatz an"},
    {"shpInterface", {521, 232, 20, 20}, "", "Interface-Status OK (grün)"},
    {"lblPrgModus", {457, 262, 148, 26}, nullptr, "Status-Hinweis"},
    {"cmdInterface",
     {457, 300, 148, 33},
     "InterfacePanel",
     "Kommando : Anzeige des Interface Panels (modal)"},
    {"cmdEnde", {457, 343, 148, 33}, "Abbrechen", "Kommando : Programm beenden"},
    {"cmdAction",
     {457, 386, 148, 38},
     "EIN",
     "Kommando : Einschalten Interface, Anfahren Home, HALT"},
    {"menubar", {}, "", ""},
    {"mnuDatei", {}, "Datei", ""},
    {"mnuOptionen", {}, "Optionen", ""},
    {"mnuHilfe", {}, "?", ""},
    {"mnuNeu", {}, "Neu", "Anlengen eines neuen Scripts"},
    {"mnuOffnen", {}, "&Öffnen", "Öffnen eines vorhandenen Scripts"},
    {"mnuSpeichern", {}, "&Speichern", "Speichern des aktuellen Scripts"},
    {"mnuSpeichernU",
     {},
     "Speichern &unter",
     "Speichern des aktuellen Scripts unter wählbaren Namen"},
    {"mnuEnde", {}, "Beenden", ""},
    {"mnuSchnitt", {}, "&Schnittstellen ...", "Auswahl des Interface-Anschlusses"},
    {"mnuModell", {}, "Modelle ...", "Auswahl des aktuellen Modells"},
    {"mnuInhalt", {}, "&Hilfe", ""},
    {"mnuAbout", {}, "&About", ""},
};

QString Caption(const QObject* o) {
  if (auto* l = qobject_cast<const QLabel*>(o)) return l->text();
  if (auto* b = qobject_cast<const QAbstractButton*>(o)) return b->text();
  if (auto* e = qobject_cast<const QLineEdit*>(o)) return e->text();
  if (auto* g = qobject_cast<const QGroupBox*>(o)) return g->title();
  if (auto* m = qobject_cast<const QMenu*>(o)) return m->title();
  if (auto* a = qobject_cast<const QAction*>(o)) return a->text();
  if (auto* w = qobject_cast<const QWidget*>(o); w && w->isWindow()) return w->windowTitle();
  return QString();
}

QString Hint(const QObject* o) {
  // A menu item's hint is its status-line text; its tool tip defaults to its caption.
  if (auto* a = qobject_cast<const QAction*>(o)) return a->statusTip();
  if (auto* w = qobject_cast<const QWidget*>(o)) return w->toolTip();
  return QString();
}

// The form's own named controls and menu items (Qt's internal parts are named qt_...).
QSet<QString> NamesIn(const QWidget* form) {
  QSet<QString> names{form->objectName()};
  for (const QObject* o : form->findChildren<QObject*>()) {
    const QString name = o->objectName();
    const bool control = o->isWidgetType() || qobject_cast<const QAction*>(o);
    if (control && !name.isEmpty() && !name.startsWith(QLatin1String("qt_"))) names.insert(name);
  }
  return names;
}

// The dynamic properties the forms set on purpose, and the two markers the main window
// puts on its script list at run time. Every other property a form sets is declared by
// its class, and uic sets it by name too, so a misspelled or renamed one (kind,
// brushColor, maxTyped, ...) would compile and land here as a new name.
std::string UnexpectedDynamicProperties(const QWidget* form) {
  static const QSet<QByteArray> kIntended = {"Tag",
                                             "HelpContext",
                                             "MotorLabel",
                                             "pixelSize",
                                             "autoSize",
                                             "kelvoraKeepsOneLineMarked",
                                             "kelvoraEditingLines"};
  QStringList found;
  QList<const QObject*> objects{form};
  for (const QObject* o : form->findChildren<QObject*>()) objects.append(o);
  for (const QObject* o : objects) {
    for (const QByteArray& p : o->dynamicPropertyNames()) {
      if (!kIntended.contains(p) && !p.startsWith("_q_"))
        found << o->objectName() + QLatin1Char('.') + QString::fromLatin1(p);
    }
  }
  return found.join(QLatin1String(", ")).toStdString();
}

void ExpectForm(const QWidget* form, std::span<const Control> table) {
  QSet<QString> expected;
  for (const Control& c : table) expected.insert(QString::fromUtf8(c.name));
  EXPECT_EQ(NamesIn(form), expected) << form->objectName().toStdString();
  EXPECT_EQ(UnexpectedDynamicProperties(form), "") << form->objectName().toStdString();
  for (const Control& c : table) {
    const QString name = QString::fromUtf8(c.name);
    SCOPED_TRACE(name.toStdString());
    const QObject* o = name == form->objectName() ? form : form->findChild<QObject*>(name);
    ASSERT_NE(o, nullptr);
    if (c.caption) {
      EXPECT_EQ(Caption(o), QString::fromUtf8(c.caption));
    }
    EXPECT_EQ(Hint(o), QString::fromUtf8(c.hint));
    auto* w = qobject_cast<const QWidget*>(o);
    if (!w || c.box == QRect()) continue;
    if (c.box.size().isNull()) {
      EXPECT_EQ(w->size(), w->sizeHint());
      EXPECT_EQ(w->y(), c.box.y());
      EXPECT_EQ(c.box.x() < 0 ? w->geometry().right() + 1 : w->x(), std::abs(c.box.x()));
    } else {
      EXPECT_EQ(w->geometry(), c.box);
    }
  }
}

TEST(Forms, DialogsAndPanelMatchTheirTables) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  settings::ProgramSettings s;
  platform::ProfileFile profile(dir.filePath("Kelvora.INI").toStdString());
  access::TBrelMotList axes;
  access::TBrelFace face;
  settings::TfrmAbout about(nullptr);
  ExpectForm(&about, kAbout);
  // The fields show what the settings hold; the table has what the form says.
  settings::TfrmSchnitt schnitt(s, nullptr);
  ExpectForm(&schnitt, kSchnitt);
  settings::TfrmModell modell(s, profile, axes, nullptr);
  ExpectForm(&modell, kModell);
  access::TfrmPanel panel(face, nullptr);
  ExpectForm(&panel, kPanel);
  for (const QWidget* w : {static_cast<QWidget*>(&about), static_cast<QWidget*>(&schnitt),
                           static_cast<QWidget*>(&modell), static_cast<QWidget*>(&panel)})
    EXPECT_EQ(w->size(), w->maximumSize()) << w->objectName().toStdString();  // fixed size
  EXPECT_EQ(about.size(), QSize(385, 253));
  EXPECT_EQ(schnitt.size(), QSize(400, 218));
  EXPECT_EQ(modell.size(), QSize(418, 375));
  EXPECT_EQ(panel.size(), QSize(430, 286));
}

TEST(Forms, MainWindowMatchesItsTable) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  app::TfrmMain form(nullptr, dir.path().toStdString() + "/");
  ExpectForm(&form, kMain);
  form.show();
  EXPECT_EQ(form.centralWidget()->size(), QSize(613, 432));
  EXPECT_EQ(form.size(), form.maximumSize());
}

// German, as chosen for C, POSIX, an unset language or de_DE, shows the tables' texts byte
// for byte, also after English was in use.
TEST(Forms, GermanAgainAfterEnglish) {
  ASSERT_TRUE(app::UseLanguage(app::kEnglish));
  for (const QStringList& system :
       {QStringList{"C"}, QStringList{"POSIX"}, QStringList{}, QStringList{"de-DE", "de"}}) {
    SCOPED_TRACE(system.join(':').toStdString());
    app::UseLanguage(app::ChooseLanguage(QString(), QString(), system));
    EXPECT_EQ(app::CurrentLanguage(), app::kGerman);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    app::TfrmMain form(nullptr, dir.path().toStdString() + "/");
    ExpectForm(&form, kMain);
    settings::ProgramSettings s;
    platform::ProfileFile profile(dir.filePath("Kelvora.INI").toStdString());
    access::TBrelMotList axes;
    settings::TfrmModell modell(s, profile, axes, nullptr);
    ExpectForm(&modell, kModell);
  }
}

// ---- The same windows in English --------------------------------------------------------

// What a window shows of each named control: where it is and its texts (caption, hint,
// and a combo box's items).
struct Shown {
  QRect box;
  QStringList texts;
};
using WindowTexts = QMap<QString, Shown>;

WindowTexts TextsOf(const QWidget* form) {
  WindowTexts shown;
  for (const QString& name : NamesIn(form)) {
    const QObject* o = name == form->objectName() ? form : form->findChild<QObject*>(name);
    Shown s;
    if (auto* w = qobject_cast<const QWidget*>(o)) s.box = w->geometry();
    s.texts << Caption(o) << Hint(o);
    if (auto* combo = qobject_cast<const QComboBox*>(o))
      for (int i = 0; i < combo->count(); ++i) s.texts << combo->itemText(i);
    shown.insert(name, s);
  }
  return shown;
}

// The five windows as the program makes them, in the language in use.
struct FiveWindows {
  explicit FiveWindows(const QString& dir)
      : profile((dir + "/Kelvora.INI").toStdString()),
        main(nullptr, dir.toStdString() + "/"),
        modell(s, profile, axes, nullptr),
        schnitt(s, nullptr),
        about(nullptr),
        panel(face, nullptr) {}
  QList<const QWidget*> All() const { return {&main, &modell, &schnitt, &about, &panel}; }

  settings::ProgramSettings s;
  platform::ProfileFile profile;
  access::TBrelMotList axes;
  access::TBrelFace face;
  app::TfrmMain main;
  settings::TfrmModell modell;
  settings::TfrmSchnitt schnitt;
  settings::TfrmAbout about;
  access::TfrmPanel panel;
};

// The captions the windows show in English, by window and control.
const struct {
  const char* form;
  const char* name;
  const char* caption;
} kEnglishCaptions[] = {
    {"frmMain", "cmdPosSpeichern", "&Store Position"},
    {"frmMain", "cmdPosEinfugen", "&Insert Position"},
    {"frmMain", "cmdPosAnfugen", "&Add Position"},
    {"frmMain", "cmdPosLoschen", "&Delete Position"},
    {"frmMain", "cmdScriptStarten", "Run Script"},
    {"frmMain", "chkWiederholen", "Repeat"},
    {"frmMain", "cmdAufPosition", "Go to Position"},
    {"frmMain", "lblPrgModus", "Switch ON"},
    {"frmMain", "cmdInterface", "Interface Panel"},
    {"frmMain", "cmdEnde", "Cancel"},
    {"frmMain", "cmdAction", "ON"},
    {"frmMain", "mnuDatei", "File"},
    {"frmMain", "mnuOptionen", "Options"},
    {"frmMain", "mnuNeu", "New"},
    {"frmMain", "mnuOffnen", "&Open"},
    {"frmMain", "mnuSpeichern", "&Save"},
    {"frmMain", "mnuSpeichernU", "Save &As"},
    {"frmMain", "mnuEnde", "Quit"},
    {"frmMain", "mnuSchnitt", "&Interfaces ..."},
    {"frmMain", "mnuModell", "Models ..."},
    {"frmMain", "mnuInhalt", "&Help"},
    {"frmMain", "frmMain", "Kelvora for Industrial Robots [New]"},
    {"frmModell", "frmModell", "Kelvora : Models"},
    {"frmModell", "lblTitel", "Model Data"},
    {"frmModell", "GroupBox1", "Working Range"},
    {"frmModell", "Label1", "Column"},
    {"frmModell", "Label2", "Vertical arm"},
    {"frmModell", "Label3", "Horizontal arm"},
    {"frmModell", "lblGreifer", "Gripper"},
    {"frmModell", "lblWagen", "Carriage"},
    {"frmModell", "txtSauleEinheit", "pulses to the right"},
    {"frmModell", "txtArmVEinheit", "pulses forward"},
    {"frmModell", "txtArmHEinheit", "pulses down"},
    {"frmModell", "txtGreiferEinheit", "pulses to close"},
    {"frmModell", "cmdEnde", "Cancel"},
    {"frmSchnitt", "frmSchnitt", "Kelvora : Interface"},
    {"frmSchnitt", "lblTitel", "Interface Data"},
    {"frmSchnitt", "Label1", "Connected to COM or LPT"},
    {"frmSchnitt", "lblDelay", "Delay factor (1 - 99, Pentium 200 : 10)"},
    {"frmSchnitt", "cmdEnde", "Cancel"},
    {"frmAbout", "Label2", "Construction-kit industrial robots : Teach-In"},
    {"frmAbout", "Label3", "Author : the Kelvora developers"},
    {"frmPanel", "cmdAction", "HALT"},
};

// Texts that are no German words, and so the same in both languages: names of ports,
// models, terminals and the program, numbers, signs, and words that are English already.
QSet<QString> NotGerman() {
  QSet<QString> same = {"",
                        "OK",
                        "HALT",
                        "Input",
                        "Output",
                        "Analog",
                        "PORT",
                        "EXIT",
                        "&About",
                        "Script",
                        "?",
                        "0",
                        "+",
                        "-",
                        "&<",
                        "&>",
                        "0 - ",
                        "10",
                        "E",
                        "R",
                        "L",
                        "E1",
                        "E8",
                        "E9",
                        "E16",
                        "EX",
                        "EY",
                        "LPT",
                        "Kelvora : About",
                        "KelvoraIn",
                        "BrelFace : Interface Panel"};
  for (int i = 1; i <= 9; ++i) same << QStringLiteral("Rob%1").arg(i);
  for (int i = 1; i <= 8; ++i) same << QStringLiteral("M%1").arg(i);
  for (int i = 1; i <= 4; ++i) same << QStringLiteral("COM%1").arg(i);
  for (int i = 1; i <= 3; ++i) same << QStringLiteral("LPT%1").arg(i);
  return same;
}

// The values of the settings, not texts of the program: an edit field's contents, the
// model's title, the version and tool lines.
bool IsData(const QString& form, const QString& name) {
  static const QSet<QString> kData = {"frmMain/lblTitel", "frmAbout/Label4", "frmAbout/Label5"};
  return kData.contains(form + '/' + name) || name.startsWith(QLatin1String("txt"));
}

class EnglishForms : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    {
      FiveWindows windows(dir.path());
      for (const QWidget* w : windows.All()) german.insert(w->objectName(), TextsOf(w));
    }
    ASSERT_TRUE(app::UseLanguage(app::kEnglish));
  }
  void TearDown() override { app::UseLanguage(app::kGerman); }

  QTemporaryDir dir;
  QMap<QString, WindowTexts> german;
};

TEST_F(EnglishForms, SameControlsInTheSamePlacesWithEnglishTexts) {
  FiveWindows windows(dir.path());
  QMap<QString, WindowTexts> english;
  for (const QWidget* w : windows.All()) english.insert(w->objectName(), TextsOf(w));
  ASSERT_EQ(english.keys(), german.keys());
  const QSet<QString> notGerman = NotGerman();
  for (const QString& form : german.keys()) {
    const WindowTexts de = german.value(form);
    const WindowTexts en = english.value(form);
    EXPECT_EQ(en.keys(), de.keys()) << form.toStdString();
    for (const QString& name : de.keys()) {
      SCOPED_TRACE((form + '/' + name).toStdString());
      const Shown d = de.value(name);
      const Shown e = en.value(name);
      EXPECT_EQ(e.box, d.box);
      ASSERT_EQ(e.texts.size(), d.texts.size());
      if (IsData(form, name)) continue;
      for (qsizetype i = 0; i < d.texts.size(); ++i) {
        if (!notGerman.contains(d.texts[i])) {
          EXPECT_NE(e.texts[i], d.texts[i]) << "left German: " << d.texts[i].toStdString();
        }
      }
    }
  }
  for (const auto& c : kEnglishCaptions) {
    SCOPED_TRACE(std::string(c.form) + "/" + c.name);
    const Shown e = english.value(c.form).value(c.name);
    ASSERT_FALSE(e.texts.isEmpty());
    EXPECT_EQ(e.texts[0], QString::fromUtf8(c.caption));
  }
}

// The room a control gives its caption, in pixels; -1 for a control whose caption is
// not drawn in a fixed place (windows, menus, labels that size themselves).
int RoomFor(const QWidget* w) {
  if (w->isWindow() || w->property("autoSize").toBool()) return -1;
  if (auto* b = qobject_cast<const QPushButton*>(w)) {
    QStyleOptionButton option;
    option.initFrom(b);
    return b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b).width();
  }
  if (auto* c = qobject_cast<const QCheckBox*>(w)) {
    QStyleOptionButton option;
    option.initFrom(c);
    return c->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, c).width();
  }
  if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->width() - 16;
  if (auto* combo = qobject_cast<const QComboBox*>(w)) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    return combo->style()
        ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
        .width();
  }
  if (auto* l = qobject_cast<const QLabel*>(w)) return l->contentsRect().width() - 2 * l->margin();
  return -1;
}

// Every English caption and combo item is drawn whole: its width in the control's font
// is at most the room the control gives it. So are the captions the main window sets by
// mode. (Texts the languages share are the forms' own: the panel's 11-pixel terminal
// letters are a pixel wider than their frames in German too.)
TEST_F(EnglishForms, EveryTextFitsItsControl) {
  FiveWindows windows(dir.path());
  const QSet<QString> shared = NotGerman();
  auto fits = [&shared](const QWidget* w, const QString& caption) {
    if (shared.contains(caption)) return;
    QString text = caption;
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));  // the accelerator marks
    const int room = RoomFor(w);
    if (room < 0 || text.isEmpty()) return;
    EXPECT_LE(QFontMetrics(w->font()).horizontalAdvance(text), room)
        << w->objectName().toStdString() << ": \"" << text.toStdString() << "\"";
  };
  for (const QWidget* form : windows.All()) {
    for (const QWidget* w : form->findChildren<QWidget*>()) {
      if (w->objectName().startsWith(QLatin1String("qt_")) || qobject_cast<const QLineEdit*>(w))
        continue;
      if (auto* combo = qobject_cast<const QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i) fits(w, combo->itemText(i));
      } else {
        fits(w, Caption(w));
      }
    }
  }
  const QWidget* action = windows.main.findChild<QWidget*>("cmdAction");
  const QWidget* status = windows.main.findChild<QWidget*>("lblPrgModus");
  const QWidget* end = windows.main.findChild<QWidget*>("cmdEnde");
  for (const char* caption : {"EIN", "STARTEN", "HOME", "HALT"})
    fits(action, QCoreApplication::translate("Mode", caption));
  for (const char* caption : {"EINschalten", "Home anfahren", "TeachIn", "RUN"})
    fits(status, QCoreApplication::translate("Mode", caption));
  for (const char* caption : {"Abbrechen", "ENDE"})
    fits(end, QCoreApplication::translate("Mode", caption));
}

}  // namespace
}  // namespace kelvora::testing
