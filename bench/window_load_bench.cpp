// SPDX-License-Identifier: GPL-3.0-or-later
// The window offscreen, in the current folder: times the load handler, the first showing of
// the lists, and (with "run") a click on Start until the run on its own thread has ended.
// Prints: pages include-lines news-entries load-ms show-ms [run-ms]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <cstdio>
#include <cstring>

#include "app/main_window.h"
#include "files/posix_file_system.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  const bool run = argc > 1 && std::strcmp(argv[1], "run") == 0;
  QApplication app(argc, argv);
  splicery::PosixFileSystem fs;
  splicery::Form form;
  splicery::MainWindow window(form, fs);
  QElapsedTimer timer;
  timer.start();
  window.Load();
  const qint64 load_ms = timer.elapsed();
  window.show();
  QApplication::processEvents();
  window.repaint();
  const qint64 show_ms = timer.elapsed() - load_ms;
  std::printf("%zu %zu %zu %lld %lld", form.List1.size(), form.List2.size(), form.List5.size(),
              static_cast<long long>(load_ms), static_cast<long long>(show_ms));
  if (run) {
    timer.restart();
    QEventLoop loop;
    QObject::connect(&window, &splicery::MainWindow::RunInFlightChanged, &loop,
                     [&loop](bool in_flight) {
                       if (!in_flight) loop.quit();
                     });
    window.findChild<QPushButton*>("Command1")->click();
    if (window.RunInFlight()) loop.exec();
    std::printf(" %lld", static_cast<long long>(timer.elapsed()));
  }
  std::printf("\n");
  return 0;
}
