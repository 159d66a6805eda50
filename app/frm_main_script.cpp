// The script commands of the main window: storing positions, running and driving,
// and the script files.
#include "app/frm_main.h"

#include <QListWidget>

namespace kelvora::app {

void TfrmMain::cmdPosSpeichernClick() {}
void TfrmMain::cmdPosEinfugenClick() {}
void TfrmMain::cmdPosAnfugenClick() {}
void TfrmMain::cmdPosLoschenClick() {}
void TfrmMain::cmdScriptStartenClick() {}
void TfrmMain::cmdZuPositionClick(int /*tag*/) {}

// A new script: the zero line of the current layout, marked, nothing modified.
void TfrmMain::mnuNeuClick() {
  lstScript->clear();
  setWindowTitle(ApplicationTitle() + QStringLiteral(" [Neu]"));
  ScriptName.clear();
  for (int32_t& v : LineValues) v = 0;
  lstScript->addItem(Settings.IsRob5() ? QStringLiteral("   0   0   0   0   0 0 0 0")
                                       : QStringLiteral("     0     0     0     0"));
  lstScript->setCurrentRow(0);
  Modified = false;
}

void TfrmMain::mnuOffnenClick() {}
void TfrmMain::mnuSpeichernClick() {}
void TfrmMain::mnuSpeichernUClick() {}

}  // namespace kelvora::app
