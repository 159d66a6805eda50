// SPDX-License-Identifier: MIT
#include "platform/gui_hooks_qt.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>

namespace kelvora::platform {
namespace {

QtGuiHooks::PanelFactory& Factory() {
  static QtGuiHooks::PanelFactory factory;
  return factory;
}

}  // namespace

bool EscKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape) {
        down_ = true;
        latched_ = true;
      }
      break;
    }
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      // Auto-repeat sends releases while the key is still held.
      if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) down_ = false;
      break;
    }
    case QEvent::ApplicationDeactivate:
      // Releases after losing the focus are never delivered to us.
      down_ = false;
      break;
    case QEvent::ApplicationStateChange:
      if (QCoreApplication::instance() != nullptr && watched == QCoreApplication::instance() &&
          static_cast<QApplicationStateChangeEvent*>(event)->applicationState() !=
              Qt::ApplicationActive) {
        down_ = false;
      }
      break;
    default:
      break;
  }
  return false;  // only watching; every event goes on as usual
}

bool EscKeyFilter::Query() {
  const bool pressed = down_ || latched_;
  latched_ = false;
  return pressed;
}

void EscKeyFilter::Reset() {
  down_ = false;
  latched_ = false;
}

void QtGuiHooks::ProcessMessages() {
  QCoreApplication::processEvents();
}

bool QtGuiHooks::EscPressed() {
  return filter_ != nullptr && filter_->Query();
}

void QtGuiHooks::ForgetEscPress() {
  if (filter_ != nullptr) filter_->ForgetPress();
}

void QtGuiHooks::AttachFilter() {
  QCoreApplication* app = QCoreApplication::instance();
  if (filter_ != nullptr || app == nullptr) return;
  filter_ = new EscKeyFilter(app);
  app->installEventFilter(filter_);
}

bool QtGuiHooks::ShowPanel(access::TBrelFace& face, bool modal, int left, int top) {
  const PanelFactory& factory = Factory();
  if (!factory) return false;
  return factory(face, modal, left, top);
}

void QtGuiHooks::SetPanelFactory(PanelFactory factory) {
  Factory() = std::move(factory);
}

QtGuiHooks& InstallQtGuiHooks() {
  static QtGuiHooks hooks;
  hooks.AttachFilter();
  SetGuiHooks(&hooks);
  return hooks;
}

}  // namespace kelvora::platform
