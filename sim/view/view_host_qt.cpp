// SPDX-License-Identifier: MIT
// The Qt side of kelvora-sim's window: the application, a display tried before Qt
// commits to it, and the hand-over between the simulator's thread and the window's.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QThread>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/window_pair_qt.h"
#include "sim/view/sim_view_qt.h"
#include "sim/view/view_host.h"

namespace kelvora::sim::view {
namespace {

int gProbeFd = -1;

// In the probing child: every message Qt gives goes to the parent, one per line, after
// a '-'; a line "+" says the display answered.
void ProbeMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
  QByteArray line = '-' + message.toUtf8().replace('\n', ' ') + '\n';
  [[maybe_unused]] ssize_t w = write(gProbeFd, line.constData(), static_cast<size_t>(line.size()));
}

// The platform's name from QT_QPA_PLATFORM: the first of a list, without its arguments.
std::string PlatformName(const char* value) {
  std::string s = value ? value : "";
  return s.substr(0, s.find_first_of(";:"));
}

class QtViewHost : public ViewHost {
 public:
  // Opens the window system, or says why it cannot. Qt ends a process whose window
  // system it cannot reach, so a real display is tried in a child process first.
  static std::unique_ptr<QtViewHost> Open(std::string* why);
  ~QtViewHost() override;

  int Exec(const std::function<int(ViewHost*)>& body);
  std::string Show(ViewTarget& target) override;
  void Close() override;

 private:
  QtViewHost();
  // Runs f on the window's thread and waits for it.
  void OnWindowThread(const std::function<void()>& f);

  int argc_ = 1;
  char arg0_[12] = "kelvora-sim";
  char* argv_[2] = {arg0_, nullptr};
  std::unique_ptr<QApplication> app_;
  SimView* window_ = nullptr;  // touched on the window's thread only
};

std::unique_ptr<QtViewHost> QtViewHost::Open(std::string* why) {
  const std::string platform = PlatformName(std::getenv("QT_QPA_PLATFORM"));
  if (platform == "offscreen" || platform == "minimal")
    return std::unique_ptr<QtViewHost>(new QtViewHost);
  const bool windowSystem =
      platform.empty() || platform == "xcb" || platform.rfind("wayland", 0) == 0;
  if (windowSystem && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
    *why = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    return nullptr;
  }
  // The child reports on one pipe and, once its display has answered, stays connected
  // until the other pipe closes: a server whose last client leaves resets, and one that
  // resets while we connect would fail us after all.
  int report[2], hold[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *why = "cannot try the display";
    return nullptr;
  }
  if (pipe2(hold, O_CLOEXEC) != 0) {
    close(report[0]);
    close(report[1]);
    *why = "cannot try the display";
    return nullptr;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(report[0]);
    close(hold[1]);
    gProbeFd = report[1];
    qInstallMessageHandler(ProbeMessage);
    int argc = 1;
    char arg0[] = "kelvora-sim";
    char* argv[] = {arg0, nullptr};
    QGuiApplication probe(argc, argv);
    [[maybe_unused]] ssize_t w = write(report[1], "+\n", 2);
    char b;
    while (read(hold[0], &b, 1) > 0 || errno == EINTR) {
    }
    _exit(0);
  }
  close(report[1]);
  close(hold[0]);
  if (pid < 0) {
    close(report[0]);
    close(hold[1]);
    *why = "cannot try the display";
    return nullptr;
  }
  // A display that does not answer must not hold the simulator up for long.
  std::string messages;
  bool answered = false, timedOut = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!answered) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    pollfd p{report[0], POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) {
      timedOut = true;
      break;
    }
    char buf[512];
    const ssize_t n = read(report[0], buf, sizeof buf);
    if (n <= 0) break;  // the child has gone: Qt gave up
    messages.append(buf, static_cast<size_t>(n));
    answered = messages.rfind("+\n", 0) == 0 || messages.find("\n+\n") != std::string::npos;
  }
  std::unique_ptr<QtViewHost> host;
  if (answered) host.reset(new QtViewHost);
  close(hold[1]);
  close(report[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (host) return host;
  if (timedOut)
    *why = "the display did not answer";
  else if (messages.empty())
    *why = "the window system cannot be reached";
  else
    *why = messages.substr(1, messages.find('\n') - 1);
  return nullptr;
}

QtViewHost::QtViewHost() {
  app_ = std::make_unique<QApplication>(argc_, argv_);
  // closing the window leaves the simulator running; it ends as it always does
  app_->setQuitOnLastWindowClosed(false);
}

QtViewHost::~QtViewHost() {
  delete window_;
  window_ = nullptr;
  app_.reset();
}

int QtViewHost::Exec(const std::function<int(ViewHost*)>& body) {
  int result = 0;
  std::thread worker;
  // The body starts once the loop runs: the loop's start may connect to the session bus,
  // whose helper process must not share a pipe with the program the body starts (the bus
  // would wait for that program to end).
  QTimer::singleShot(0, app_.get(), [&] {
    worker = std::thread([&] {
      result = body(this);
      QMetaObject::invokeMethod(
          app_.get(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
  });
  app_->exec();
  worker.join();
  return result;
}

void QtViewHost::OnWindowThread(const std::function<void()>& f) {
  if (QThread::currentThread() == app_->thread())
    f();
  else
    QMetaObject::invokeMethod(app_.get(), f, Qt::BlockingQueuedConnection);
}

std::string QtViewHost::Show(ViewTarget& target) {
  std::string entry;
  OnWindowThread([this, &target, &entry] {
    delete window_;
    window_ = new SimView(target);
    const QRect frame = PlaceBesideProgram(*window_);
    window_->show();
    entry = std::string(platform::kSimWindowVariable) + '=' + platform::FormatArea(frame);
  });
  return entry;
}

void QtViewHost::Close() {
  OnWindowThread([this] {
    delete window_;
    window_ = nullptr;
  });
}

}  // namespace

bool RunWithWindow(const std::function<int(ViewHost*)>& body, int* result, std::string* why) {
  std::unique_ptr<QtViewHost> host = QtViewHost::Open(why);
  if (!host) return false;
  *result = host->Exec(body);
  return true;
}

}  // namespace kelvora::sim::view
