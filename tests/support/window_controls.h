// SPDX-License-Identifier: MIT
// A window's control by its object name, for tests and benchmarks that drive a window
// from outside, as the user would: the names are the ones its form gives, which the help
// and the program's documentation use too. A name the window lacks ends the run at once
// with that name, instead of a null pointer crashing later.
#pragma once

#include <QObject>
#include <QString>
#include <QtGlobal>

namespace kelvora::app {

template <typename T>
T* ControlOf(const QObject& window, const char* name) {
  T* control = window.findChild<T*>(QString::fromLatin1(name));
  if (control == nullptr)
    qFatal("%s has no %s named %s", qPrintable(window.objectName()),
           T::staticMetaObject.className(), name);
  return control;
}

}  // namespace kelvora::app
