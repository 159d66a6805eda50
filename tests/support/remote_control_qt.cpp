// SPDX-License-Identifier: MIT
#include "tests/support/remote_control_qt.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QTextStream>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/frm_main.h"

namespace kelvora::app {

namespace {

// Runs from a timer so that it also runs nested inside moves, as a user's clicks do; its
// own actions are posted, never run inside the step, so a command that moves the robot
// never blocks the replay.
class RemoteControl final : public QObject {
 public:
  RemoteControl(TfrmMain& window, QStringList commands)
      : QObject(&window), window_(&window), commands_(std::move(commands)) {
    connect(&timer_, &QTimer::timeout, this, &RemoteControl::Step);
    timer_.start(20);
  }

 private:
  void Step() {
    if (busy_ || !window_) return;
    busy_ = true;
    while (next_ < commands_.size() && !window_.isNull()) {
      const QStringList words = commands_[next_]
                                    .section(QLatin1Char('#'), 0, 0)
                                    .split(QLatin1Char(' '), Qt::SkipEmptyParts);
      if (words.isEmpty()) {
        ++next_;
        continue;
      }
      if (!Run(words)) break;  // waiting
      ++next_;
    }
    busy_ = false;
  }

  // False while the command waits.
  bool Run(const QStringList& w) {
    const QString& op = w[0];
    const QString arg = w.size() > 1 ? w[1] : QString();
    if (op == QLatin1String("click")) {
      if (auto* b = window_->findChild<QAbstractButton*>(arg))
        QMetaObject::invokeMethod(b, &QAbstractButton::click, Qt::QueuedConnection);
      else
        Fail("no button " + arg);
    } else if (op == QLatin1String("press") || op == QLatin1String("release")) {
      auto* shape = window_->findChild<QWidget*>(arg);
      if (!shape) {
        Fail("no shape " + arg);
        return true;
      }
      const bool press = op == QLatin1String("press");
      const bool outside = w.size() > 2 && w[2] == QLatin1String("out");
      const QPointF local = outside ? QPointF(-40, -40) : QPointF(shape->rect().center());
      const QPointF global = shape->mapToGlobal(local);
      QCoreApplication::postEvent(
          shape, new QMouseEvent(press ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease,
                                 local, local, global, Qt::LeftButton,
                                 press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier));
    } else if (op == QLatin1String("wait-mode")) {
      return window_->PrgModus() == arg.toInt();
    } else if (op == QLatin1String("sleep")) {
      if (!sleeping_) {
        clock_.start();
        sleeping_ = true;
      }
      if (clock_.elapsed() < arg.toInt()) return false;
      sleeping_ = false;
    } else if (op == QLatin1String("report")) {
      Report(arg);
    } else if (op == QLatin1String("signal")) {
      ::raise(arg.toInt());
    } else if (op == QLatin1String("close")) {
      QMetaObject::invokeMethod(window_.data(), &QWidget::close, Qt::QueuedConnection);
    } else {
      Fail("unknown command " + op);
    }
    return true;
  }

  void Report(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return Fail("cannot write " + path);
    QTextStream out(&file);
    out << "mode " << window_->PrgModus() << "\n";
    const QRect frame = window_->frameGeometry();
    out << "geometry " << frame.x() << " " << frame.y() << " " << frame.width() << " "
        << frame.height() << "\n";
    if (const access::TBrelRobot* robot = window_->Robot()) {
      for (int axis = 1; axis <= 8; ++axis)
        out << "pos " << axis << " " << robot->Axes.GetPos(axis, access::mcPosition) << "\n";
      out << "motor " << robot->MotorWord() << "\n";
    }
  }

  void Fail(const QString& what) { std::fprintf(stderr, "kelvora remote: %s\n", qPrintable(what)); }

  QPointer<TfrmMain> window_;
  QStringList commands_;
  int next_ = 0;
  bool busy_ = false;
  bool sleeping_ = false;
  QElapsedTimer clock_;
  QTimer timer_;
};

}  // namespace

bool StartRemoteControl(TfrmMain& window) {
  const char* path = std::getenv("KELVORA_REMOTE");
  if (!path || !*path) return true;
  QFile file(QString::fromLocal8Bit(path));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    std::fprintf(stderr, "kelvora remote: cannot read %s\n", path);
    return false;
  }
  new RemoteControl(window, QString::fromUtf8(file.readAll()).split(QLatin1Char('\n')));
  return true;
}

}  // namespace kelvora::app
