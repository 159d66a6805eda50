// SPDX-License-Identifier: MIT
// The script commands of the main window: storing positions, running and driving,
// and the script files. The rules live in the window-free script core; this file
// adapts the list box and the window to it.
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "app/frm_main.h"
#include "app/script.h"
#include "app/script_player.h"
#include "platform/installed_data.h"
#include "ui_frm_main.h"

namespace kelvora::app {
namespace {

constexpr const char* kEditing = "kelvoraEditingLines";

// A list box lets Ctrl+click and Ctrl+Space unmark its selected line; the script needs
// a marked line in every list that has lines, also while a run reads it. An unmarked
// line is therefore marked again at once, unless the script itself is removing lines
// (it marks the right one when it is done).
void KeepOneLineMarked(QListWidget* list) {
  static const char* const kInstalled = "kelvoraKeepsOneLineMarked";
  if (list->property(kInstalled).toBool()) return;
  list->setProperty(kInstalled, true);
  QObject::connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, list,
                   [list](const QItemSelection&, const QItemSelection& deselected) {
                     if (list->property(kEditing).toBool() || list->count() == 0 ||
                         !list->selectionModel()->selectedIndexes().isEmpty())
                       return;
                     int row =
                         deselected.indexes().isEmpty() ? -1 : deselected.indexes().first().row();
                     if (row < 0 || row >= list->count()) row = list->currentRow();
                     if (row < 0 || row >= list->count()) row = 0;
                     list->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
                   });
}

// lstScript as the script core sees it: the selected line is the marked line.
class ListBoxScript final : public ScriptList {
 public:
  explicit ListBoxScript(QListWidget* list) : list_(list) { KeepOneLineMarked(list); }

  int Count() const override { return list_->count(); }
  std::string Line(int index) const override {
    if (index < 0 || index >= Count()) ThrowIndexError(index);
    return list_->item(index)->text().toStdString();
  }
  void SetLine(int index, const std::string& text) override {
    if (index < 0 || index >= Count()) ThrowIndexError(index);
    list_->item(index)->setText(QString::fromStdString(text));
  }
  void Insert(int index, const std::string& text) override {
    list_->insertItem(index, QString::fromStdString(text));
  }
  void Append(const std::string& text) override { list_->addItem(QString::fromStdString(text)); }
  void Delete(int index) override {
    if (index < 0 || index >= Count()) ThrowIndexError(index);
    Editing editing(list_);
    delete list_->takeItem(index);
  }
  void Clear() override {
    Editing editing(list_);
    list_->clear();
  }
  int ItemIndex() const override {
    const QModelIndexList rows = list_->selectionModel()->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
  }
  void SetItemIndex(int index) override {
    if (index >= 0 && index < Count())
      list_->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  }

 private:
  struct Editing {
    explicit Editing(QListWidget* l) : list(l) { list->setProperty(kEditing, true); }
    ~Editing() { list->setProperty(kEditing, false); }
    QListWidget* list;
  };
  QListWidget* list_;
};

// "Rob Script" with *.<ScriptExt>; file names on Linux are case-sensitive, so the
// lower-case form of the extension is offered too.
QString ScriptFilter(const QString& ext) {
  QString patterns = QStringLiteral("*.") + ext;
  if (ext.toLower() != ext) patterns += QStringLiteral(" *.") + ext.toLower();
  return QCoreApplication::translate("Prompts", "Rob Script (%1)").arg(patterns);
}

std::string LocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

// The window as the script player's host.
class TfrmMain::ScriptHostOfWindow final : public ScriptHost {
 public:
  explicit ScriptHostOfWindow(TfrmMain& form) : form_(form), list_(form.ui_->lstScript) {}

  access::TBrelRobot& Robot() override { return *form_.robot_; }
  const settings::ProgramSettings& Settings() const override { return form_.settings_; }
  int32_t* LineValues() override { return form_.lineValues_; }
  ScriptList& Script() override { return list_; }
  void SetMode(int mode) override { form_.SetMode(mode); }
  bool Repeat() const override { return form_.ui_->chkWiederholen->isChecked(); }
  void SetRepeat(bool on) override { form_.ui_->chkWiederholen->setChecked(on); }
  void SetGripper(int32_t value) override { form_.SetGripper(value); }
  void SetExtra(int output, int32_t value) override { form_.SetExtra(output, value); }

 private:
  TfrmMain& form_;
  ListBoxScript list_;
};

void TfrmMain::cmdPosSpeichernClick() {
  ListBoxScript list(ui_->lstScript);
  if (StorePosition(list, FormatLine(robot_->Axes, lineValues_, settings_.IsRob5())))
    modified_ = true;
}

void TfrmMain::cmdPosEinfugenClick() {
  ListBoxScript list(ui_->lstScript);
  if (InsertPosition(list, FormatLine(robot_->Axes, lineValues_, settings_.IsRob5())))
    modified_ = true;
}

void TfrmMain::cmdPosAnfugenClick() {
  ListBoxScript list(ui_->lstScript);
  if (AppendPosition(list, FormatLine(robot_->Axes, lineValues_, settings_.IsRob5())))
    modified_ = true;
}

void TfrmMain::cmdPosLoschenClick() {
  ListBoxScript list(ui_->lstScript);
  if (DeletePosition(list)) modified_ = true;
}

void TfrmMain::cmdScriptStartenClick() {
  ScriptHostOfWindow host(*this);
  RunScript(host);
}

void TfrmMain::cmdZuPositionClick(int tag) {
  ScriptHostOfWindow host(*this);
  DriveToLine(host, tag);
}

bool TfrmMain::SaveModifiedScript() {
  if (!modified_) return true;
  if (!CurrentPrompts().Question(this, InformationTitle(), tr("Script-Datei Speichern?")))
    return true;
  mnuSpeichernUClick();  // a file that cannot be written throws
  return !modified_;     // still modified: the dialog was cancelled
}

// A new script: the zero line of the current layout, marked, nothing modified. A
// modified script is offered for saving first; cancelling that keeps it.
void TfrmMain::mnuNeuClick() {
  if (!SaveModifiedScript()) return;
  ListBoxScript list(ui_->lstScript);
  NewScript(list, lineValues_, settings_.IsRob5());
  setWindowTitle(ApplicationTitle() + QStringLiteral(" [") + tr("Neu") + QLatin1Char(']'));
  scriptName_.clear();
  modified_ = false;
}

void TfrmMain::mnuOffnenClick() {
  if (!SaveModifiedScript()) return;
  const QString ext = QString::fromStdString(settings_.ScriptExt);
  const std::string folder =
      platform::OpenDialogFolder(settings_.ProgDir, dataDir_, settings_.ScriptExt);
  const QString path =
      CurrentPrompts().OpenFile(this, ScriptFilter(ext), ext, QString::fromStdString(folder));
  if (path.isEmpty()) return;
  OpenScript(path);
}

void TfrmMain::OpenScript(const QString& path) {
  ListBoxScript list(ui_->lstScript);
  // The name is taken only once the file has been read: taking it before would make a
  // later "Speichern" write the old script under the name of the file that failed.
  LoadScript(list, LocalPath(path));
  scriptName_ = QFileInfo(path).fileName();
  modified_ = false;
  setWindowTitle(ApplicationTitle() + QStringLiteral(" [") + scriptName_ + QLatin1Char(']'));
}

void TfrmMain::mnuSpeichernClick() {
  if (scriptName_.isEmpty()) {
    mnuSpeichernUClick();
    return;
  }
  // Always into the program's folder, wherever the script was opened from.
  SaveScript(ListBoxScript(ui_->lstScript), settings_.ProgDir + LocalPath(scriptName_));
  modified_ = false;
}

void TfrmMain::mnuSpeichernUClick() {
  const QString ext = QString::fromStdString(settings_.ScriptExt);
  const QString path = CurrentPrompts().SaveFile(this, ScriptFilter(ext), ext,
                                                 QString::fromStdString(settings_.ProgDir));
  if (path.isEmpty()) return;
  SaveScript(ListBoxScript(ui_->lstScript), LocalPath(path));
  scriptName_ = QFileInfo(path).fileName();
  setWindowTitle(ApplicationTitle() + QStringLiteral(" [") + scriptName_ + QLatin1Char(']'));
  modified_ = false;
}

// ---- Recovery after a termination signal ------------------------------------------

void TfrmMain::WriteRecoveryScript() {
  if (!modified_) return;
  const std::string path =
      WriteRecoveryFile(settings_.ProgDir, settings_.ScriptExt,
                        AllLines(ListBoxScript(ui_->lstScript)), std::time(nullptr));
  const QString told =
      path.empty() ? tr("Kelvora: das geänderte Script konnte nicht gesichert werden (%1)")
                         .arg(QFile::decodeName(QByteArray::fromStdString(settings_.ProgDir)))
                   : tr("Kelvora: geändertes Script gesichert in %1")
                         .arg(QFile::decodeName(QByteArray::fromStdString(path)));
  std::fprintf(stderr, "%s\n", told.toLocal8Bit().constData());
}

void TfrmMain::ReportRecoveredScripts() {
  const std::vector<std::string> names = UnnoticedRecoveryFiles(settings_.ProgDir);
  if (names.empty()) return;
  QString text =
      tr("Beim letzten Programmende durch ein Signal wurde ein geändertes Script gesichert:");
  for (const std::string& name : names)
    text +=
        QLatin1Char('\n') + QFile::decodeName(QByteArray::fromStdString(settings_.ProgDir + name));
  // Named once: the names go on record before the box is shown, so that a second start
  // while it is open does not repeat them.
  MarkRecoveryFilesNoticed(settings_.ProgDir);
  CurrentPrompts().Info(this, InformationTitle(), text);
}

void TfrmMain::ReportRecoveredScriptsLater() {
  QTimer::singleShot(0, this, [this] { RunCommand([this] { ReportRecoveredScripts(); }); });
}

}  // namespace kelvora::app
