// SPDX-License-Identifier: GPL-3.0-or-later
// Program start: display check, the site folder, the window, its load event, the event loop.
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <memory>
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
  if (auto exit = splicery::AnswerHelpOrVersion({argv + 1, argv + argc}, stdout, stderr))
    return *exit;
  if (!splicery::HasDisplay(std::getenv, splicery::PlatformArgument(argc, argv))) {
    std::fputs(splicery::msg::NoDisplay().c_str(), stderr);
    return splicery::kExitNoDisplay;
  }
  qt_handler = qInstallMessageHandler(ExitOnPlatformFailure);
  QApplication app(argc, argv);  // takes its own arguments out of argv
  qInstallMessageHandler(qt_handler);
  // Matches the window to its desktop entry (Wayland's app id) and gives every window the icon.
  QGuiApplication::setDesktopFileName(SPLICERY_ID);
  QApplication::setWindowIcon(splicery::AppIcon());
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
  window.dialogs = dialogs;
  window.make_file_system = [] { return std::make_unique<splicery::PosixFileSystem>(); };
  // The frame is not known before the window is shown: allow for a usual title bar.
  window.resize(
      splicery::MainWindow::OpeningSize(window.screen()->availableGeometry().size(), QSize(8, 40)));
  window.Load();
  window.show();
  return app.exec();
}
