// SPDX-License-Identifier: MIT
#include "platform/form_setup_qt.h"

#include <QFont>
#include <QVariant>
#include <QWidget>

namespace kelvora::platform {

namespace {

void Apply(QWidget* widget) {
  const QVariant pixelSize = widget->property("pixelSize");
  if (pixelSize.isValid()) {
    QFont font = widget->font();
    font.setPixelSize(pixelSize.toInt());
    widget->setFont(font);
  }
  if (widget->property("autoSize").toBool()) widget->adjustSize();
}

}  // namespace

void SetupFormData(QWidget* form) {
  Apply(form);
  // Parents before children, so that a child's own size is measured in its final font.
  for (QWidget* child : form->findChildren<QWidget*>()) Apply(child);
}

}  // namespace kelvora::platform
