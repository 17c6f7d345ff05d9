// SPDX-License-Identifier: GPL-3.0-or-later
// Program start: display check, the site folder, the window, its load event, the event loop.
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/launch.h"
#include "app/main_window.h"
#include "core/messages.h"
#include "files/posix_file_system.h"

namespace {

QtMessageHandler qt_handler = nullptr;

// While QApplication starts, a fatal message means no platform could be opened (DISPLAY names
// a server that does not answer): end with the German message rather than Qt's abort.
void ExitOnPlatformFailure(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (qt_handler) qt_handler(type, context, text);
  if (type != QtFatalMsg) return;
  std::fputs(splicery::msg::NoDisplay().c_str(), stderr);
  std::_Exit(splicery::kExitNoDisplay);
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before any display is needed, as every program's --help and --version are.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s\n", std::string(splicery::Form::kCaption).c_str());
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(splicery::msg::AppHelp().c_str(), stdout);
    return 0;
  }
  if (!splicery::HasDisplay(std::getenv, splicery::PlatformArgument(argc, argv))) {
    std::fputs(splicery::msg::NoDisplay().c_str(), stderr);
    return splicery::kExitNoDisplay;
  }
  qt_handler = qInstallMessageHandler(ExitOnPlatformFailure);
  QApplication app(argc, argv);  // takes its own arguments out of argv
  qInstallMessageHandler(qt_handler);
  // Every text of the program is German; Qt's own dialogs (the folder dialog) should be too.
  QTranslator qt_german;
  if (qt_german.load("qtbase_de", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    app.installTranslator(&qt_german);
  }

  const QString caption =
      QString::fromUtf8(splicery::Form::kCaption.data(), splicery::Form::kCaption.size());
  splicery::SiteDialogs dialogs{
      [] {
        return QFile::encodeName(
                   QFileDialog::getExistingDirectory(nullptr, "Ordner der Web-Site wählen"))
            .toStdString();
      },
      [&caption](const std::string& message) {
        QMessageBox::critical(nullptr, caption, QString::fromLocal8Bit(message));
      }};
  splicery::PosixFileSystem fs;
  if (auto exit = splicery::OpenSite({argv + 1, argv + argc}, fs, dialogs, stderr)) return *exit;

  splicery::Form form;
  splicery::MainWindow window(form, fs);
  window.Load();
  window.show();
  return app.exec();
}
