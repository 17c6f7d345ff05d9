// Program start: the window, its load event, the event loop. Works in the current folder.
#include <QApplication>

#include "app/main_window.h"
#include "files/posix_file_system.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  splicery::PosixFileSystem fs;
  splicery::Form form;
  splicery::MainWindow window(form, fs);
  window.Load();
  window.show();
  return app.exec();
}
