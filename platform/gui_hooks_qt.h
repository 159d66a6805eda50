// SPDX-License-Identifier: MIT
// The Qt program's GUI hooks: the message pump, the Esc test over an application-wide
// key filter, and the interface panel through a factory that the panel code registers.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "platform/gui_hooks.h"

namespace kelvora::platform {

// Keeps the Esc key state as the abort test needs it: down now, or pressed since the
// last query. Sees every key event delivered to the program's windows.
class EscKeyFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Down now or pressed since the previous call; clears the "pressed since" latch.
  bool Query();
  // Clears the "pressed since" latch only: a key held down still counts.
  void ForgetPress() { latched_ = false; }
  void Reset();

 private:
  bool down_ = false;
  bool latched_ = false;
};

class QtGuiHooks final : public GuiHooks {
 public:
  using PanelFactory = std::function<bool(access::TBrelFace& face, bool modal, int left, int top)>;

  void ProcessMessages() override;
  bool EscPressed() override;
  void ForgetEscPress() override;
  bool ShowPanel(access::TBrelFace& face, bool modal, int left, int top) override;

  // The interface panel registers how it is made; an empty factory means no panel.
  static void SetPanelFactory(PanelFactory factory);

  // Creates the filter as a child of the application object and installs it there.
  void AttachFilter();
  EscKeyFilter* Filter() const { return filter_; }

 private:
  QPointer<EscKeyFilter> filter_;  // owned by the application object
};

// Installs the Qt hooks and the Esc filter on the application object. Call once the
// QApplication exists; repeated calls do nothing more. Returns the installed hooks.
QtGuiHooks& InstallQtGuiHooks();

}  // namespace kelvora::platform
