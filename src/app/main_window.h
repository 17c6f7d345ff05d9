// SPDX-License-Identifier: GPL-3.0-or-later
// Form1, the one window: shows the core's data and hands its two events to the core.
#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "app/launch.h"
#include "core/form.h"
#include "files/file_system.h"
#include "history/undo.h"
#include "report/site_report.h"
#include "update/to_utf8.h"

class QLabel;
class QListView;
class QMenu;
class QPushButton;
class QThread;

namespace splicery {

class ListModel;

// The program's icon in the sizes the build renders, for the window and Qt's dialogs.
QIcon AppIcon();

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  // Client area and control geometry come in twips; the screen has 15 twips per pixel.
  static constexpr int kTwipsPerPixel = 15;
  // The client area as designed, where every control has its designed rectangle, and the
  // smallest one it can be resized to; it can grow without limit.
  static constexpr QSize kDesignedSize{690, 538};
  static constexpr QSize kMinimumSize{640, 440};

  // The client size the window opens at: as designed, or less where the screen's free area
  // (`available`, without panels) is smaller once the window manager's `frame` is added.
  static QSize OpeningSize(const QSize& available, const QSize& frame);

  MainWindow(Form& form, FileSystem& fs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The load event: runs the start-up scan and shows its result. Call before show().
  void Load();

  // During a run the status lines are updated at most this often (default 200 ms).
  void set_repaint_interval_ms(qint64 ms) { repaint_interval_ms_ = ms; }

  // True from a click on Start until the run has ended and its result is shown, and while a
  // report is made. Meanwhile the form belongs to that thread: nothing else may start a run
  // or change the lists.
  bool RunInFlight() const { return worker_ != nullptr; }

  // The page list's context menu: what a right click, the menu key or Shift+F10 on List1
  // opens. Reports of the whole site, never of the selection; off while a run is in flight.
  QMenu* BuildPageMenu();

  // Asks before an undo; a test may answer in its place.
  std::function<bool(const QString& question)> confirm;
  // The folder dialog and the failure box of "Anderen Ordner öffnen…"; without ask_folder the
  // entry is off.
  SiteDialogs dialogs;
  // A fresh file system for another folder (the old one knows the old folder's groups and
  // devices); unset, the window keeps the one it was given.
  std::function<std::unique_ptr<FileSystem>()> make_file_system;

 signals:
  void RunInFlightChanged(bool in_flight);

 protected:
  // During a run the window only hides; it closes, and so ends the program, after the run.
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private slots:
  void OnCommand1Clicked();
  void OnRunFinished();
  void ShowDiff();
  void ShowLint();
  void UndoLastRunAsked();
  void OpenOtherFolderAsked();
  void MoveToUtf8Asked();
  void ShowReport(const QString& title, std::function<Report()> make);
  void CloseNow();

 private:
  QListView* AddList(const char* name, int left, int top, int width, int height);
  QLabel* AddLabel(const char* name, const QString& caption, int left, int top, int width,
                   int height);
  void AddControls();
  void SetUpLists();
  void ConnectPageMenu();
  void LayOut();
  void ShowLabels();
  void ShowAll();
  void OnLabelWritten(TextKind kind);  // on the run's thread
  bool AskUndo(const UndoCandidate& run);
  void UndoLocked(uint64_t asked);
  void WithLock(std::function<void()> then);
  void ShowStatus(const QString& label3, const QString& label4);
  QString ShownLabel4() const;
  void ShowMoveResult(const MoveResult& result);
  void RunBeside(std::function<void()> work, std::function<void()> done);

  Form& form_;
  FileSystem* fs_;
  std::unique_ptr<FileSystem> own_fs_;  // from make_file_system, after a change of folder
  QListView* List1;
  QLabel* Label1;
  QLabel* Label2;
  QPushButton* Command1;
  QLabel* Label3;
  QLabel* Label4;
  QListView* List2;
  QListView* List3;
  QListView* List4;
  QLabel* Label5;
  QListView* List5;
  QLabel* Label6;
  ListModel* model1_;
  ListModel* model2_;
  ListModel* model5_;
  QThread* worker_ = nullptr;
  bool close_after_run_ = false;
  // Used by the run's thread alone while a run is in flight.
  QElapsedTimer since_paint_;
  qint64 repaint_interval_ms_ = 200;
  size_t detail_writes_ = 0;
};

}  // namespace splicery
