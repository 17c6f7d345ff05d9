// Times the window's load handler plus first show with large lists, offscreen. Run in a folder
// whose include.txt lists the pages; prints milliseconds.
#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

#include "app/main_window.h"
#include "files/posix_file_system.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
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
  const qint64 total_ms = timer.elapsed();
  std::printf("%zu %zu %zu %lld %lld\n", form.List1.size(), form.List2.size(), form.List5.size(),
              static_cast<long long>(load_ms), static_cast<long long>(total_ms - load_ms));
  return 0;
}
