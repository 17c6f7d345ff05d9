// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls, laid out as designed in twips, and its two event hooks.
#include "app/main_window.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QShortcut>
#include <QThread>
#include <algorithm>
#include <memory>

#include "app/list_model.h"
#include "app/report_dialog.h"
#include "history/undo.h"
#include "report/site_report.h"
#include "scan/startup_scan.h"
#include "text/display_text.h"
#include "update/run_lock.h"
#include "update/to_utf8.h"
#include "update/update_run.h"

namespace splicery {
namespace {

constexpr int Px(int twips) { return twips / MainWindow::kTwipsPerPixel; }

// Where each control lies at the designed size; the layout of every other size starts there.
constexpr char kDesigned[] = "designedGeometry";

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128, 256})
    icon.addFile(QString(":/icons/%1/" SPLICERY_ID ".png").arg(size), QSize(size, size));
  return icon;
}

QSize MainWindow::OpeningSize(const QSize& available, const QSize& frame) {
  return kDesignedSize.boundedTo(available - frame).expandedTo(kMinimumSize);
}

MainWindow::MainWindow(Form& form, FileSystem& fs, QWidget* parent)
    : QWidget(parent), form_(form), fs_(&fs) {
  setObjectName("Form1");
  setWindowTitle(QString::fromUtf8(Form::kCaption.data(), Form::kCaption.size()));
  setWindowIcon(AppIcon());
  resize(kDesignedSize);
  setMinimumSize(kMinimumSize);

  AddControls();
  SetUpLists();
  ConnectPageMenu();
  List1->setFocus();
}

// Created in tab order, so that the default focus chain is the designed one.
void MainWindow::AddControls() {
  List1 = AddList("List1", 5040, 360, 5175, 1620);
  Label1 = AddLabel("Label1", "Include-Quelle: INCLUDE.HTM:", 120, 120, 4455, 255);
  Label2 = AddLabel("Label2", "Include-Ziele:", 4920, 120, 4455, 375);
  Command1 = new QPushButton("Start", this);
  Command1->setObjectName("Command1");
  Command1->setGeometry(Px(5040), Px(7320), Px(1695), Px(495));
  Command1->setProperty(kDesigned, Command1->geometry());
  Command1->setAutoDefault(false);
  Label3 = AddLabel("Label3", "Label3", 5040, 6360, 5055, 255);
  Label4 = AddLabel("Label4", "Label4", 5040, 6720, 5175, 255);
  List2 = AddList("List2", 120, 360, 4695, 7470);
  List3 = AddList("List3", 8400, 7200, 735, 645);
  List4 = AddList("List4", 9360, 7200, 855, 645);
  Label5 = AddLabel("Label5",
                    "Nach Änderung der INCLUDE.TXT oder INCLUDE.HTM einmal dieses Programm "
                    "schließen und neu starten!",
                    5040, 5520, 5175, 615);
  List5 = AddList("List5", 5040, 2400, 5175, 2985);
  Label6 = AddLabel("Label6", "NEWS: Datum___Dateiname___Name", 5040, 2160, 4695, 255);

  // Working lists of the update run: nobody needs to see them.
  List3->hide();
  List4->hide();
  Label5->setWordWrap(true);
  QPalette blue = Label3->palette();
  blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
  Label3->setPalette(blue);
  Label4->setPalette(blue);
  // Page lines are HTML; they must show as they are, never be rendered.
  Label3->setTextFormat(Qt::PlainText);
  Label4->setTextFormat(Qt::PlainText);

  QWidget* order[] = {List1, Command1, List2, List3, List4, List5};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void MainWindow::SetUpLists() {
  model1_ =
      new ListModel([this]() -> const std::vector<std::string>& { return form_.List1; }, this);
  // Include lines in include.htm's encoding, news titles in their page's.
  model2_ = new ListModel([this]() -> const std::vector<std::string>& { return form_.List2; }, this,
                          [this](std::string_view line) {
                            return DisplayUtf8(line, form_.Encodings.include_source.name);
                          });
  model5_ = new ListModel(
      [this]() -> const std::vector<std::string>& { return form_.List5.items(); }, this,
      [this](std::string_view entry) { return DisplayNewsEntry(entry, form_.Encodings); });
  for (auto [list, model] : {std::pair{List1, model1_}, {List2, model2_}, {List5, model5_}}) {
    list->setModel(model);
    list->setItemDelegate(new WidestItemDelegate(model, list));
  }
}

// Start, and the page list's menu: by mouse, by the menu key and by Shift+F10.
void MainWindow::ConnectPageMenu() {
  connect(Command1, &QPushButton::clicked, this, &MainWindow::OnCommand1Clicked);
  List1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(List1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu* menu = BuildPageMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(List1->viewport()->mapToGlobal(at));
  });
  // The menu key reaches the list as a context menu event; Shift+F10 does not everywhere.
  auto* shift_f10 = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), List1);
  shift_f10->setContext(Qt::WidgetShortcut);
  connect(shift_f10, &QShortcut::activated, this, [this] {
    const QRect item = List1->visualRect(List1->currentIndex());
    emit List1->customContextMenuRequested(item.isValid() ? item.center() : QPoint(0, 0));
  });
}

// A run still in flight (the program is ending otherwise than by closing the window) is
// finished first: no page is left half done, and the form never calls into a window that is
// gone.
MainWindow::~MainWindow() {
  if (worker_) worker_->wait();
  form_.SetListener(nullptr);
}

QListView* MainWindow::AddList(const char* name, int left, int top, int width, int height) {
  auto* list = new QListView(this);
  list->setObjectName(name);
  list->setGeometry(Px(left), Px(top), Px(width), Px(height));
  list->setProperty(kDesigned, list->geometry());
  list->setUniformItemSizes(true);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return list;
}

QLabel* MainWindow::AddLabel(const char* name, const QString& caption, int left, int top, int width,
                             int height) {
  auto* label = new QLabel(caption, this);
  label->setObjectName(name);
  label->setGeometry(Px(left), Px(top), Px(width), Px(height));
  label->setProperty(kDesigned, label->geometry());
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

// At the designed size every control has its designed rectangle. Extra width goes to List2's
// column and the right column in halves, extra height to List2 and, 1:2, to List1 and List5;
// labels and Start keep their sizes and move with the edges. Below the designed size the
// lists give the room back, and labels are narrowed to their column.
void MainWindow::LayOut() {
  const int wider = width() - kDesignedSize.width();
  const int taller = height() - kDesignedSize.height();
  const int left = wider / 2, right = wider - left;
  const int upper = taller / 3;
  const auto place = [](QWidget* control, int dx, int dy, int dw, int dh) {
    control->setGeometry(control->property(kDesigned).toRect().adjusted(dx, dy, dx + dw, dy + dh));
  };
  place(List2, 0, 0, left, taller);
  place(Label1, 0, 0, std::min(left, 0), 0);
  place(Label2, left, 0, std::min(right, 0), 0);
  place(List1, left, 0, right, upper);
  place(Label6, left, upper, std::min(right, 0), 0);
  place(List5, left, upper, right, taller - upper);
  for (QLabel* label : {Label5, Label3, Label4}) place(label, left, taller, std::min(right, 0), 0);
  place(Command1, left, taller, 0, 0);
  place(List3, wider, taller, 0, 0);
  place(List4, wider, taller, 0, 0);
  // Three designed labels reach a few pixels into the list below them, under their one line
  // of text; below the designed size they end where the list begins.
  if (wider < 0 || taller < 0) {
    for (auto [label, below] : {std::pair{Label1, List2}, {Label2, List1}, {Label6, List5}}) {
      QRect cut = label->geometry();
      cut.setBottom(std::min(cut.bottom(), below->geometry().top() - 1));
      label->setGeometry(cut);
    }
  }
}

// A failed scan leaves the lists incomplete; a run from them would empty the blocks of every
// page, so Start stays off and the status line keeps the scan's failure text.
void MainWindow::Load() {
  if (Status scanned = RunStartupScan(form_, *fs_); !scanned) {
    form_.Command1Enabled = false;
    // A configuration file that says something unusable names its line and why in the detail
    // line, as splicery-cli does in its reason line.
    if (scanned.code() == Code::kConfigProblem) {
      form_.SetLabel4(scanned.path() + ": " + msg::Reason(scanned));
    }
  }
  ShowAll();
}

void MainWindow::OnCommand1Clicked() {
  if (RunInFlight() || !form_.Command1Enabled) return;
  Command1->setEnabled(false);
  detail_writes_ = 0;
  since_paint_.start();
  form_.SetListener([this](LabelId, std::string_view, TextKind kind) { OnLabelWritten(kind); });
  worker_ = QThread::create([this] { RunUpdate(form_, *fs_, RunMode::kWrite); });
  worker_->setParent(this);
  connect(worker_, &QThread::finished, this, &MainWindow::OnRunFinished);
  worker_->start();
  emit RunInFlightChanged(true);
}

void MainWindow::OnRunFinished() {
  worker_->wait();
  worker_->deleteLater();
  worker_ = nullptr;
  form_.SetListener(nullptr);
  ShowAll();
  emit RunInFlightChanged(false);
  if (close_after_run_) CloseNow();
}

// Closing a window that is already hidden does not end the program as closing the last
// window does; do what the close during the work would have done.
void MainWindow::CloseNow() {
  close();
  if (QGuiApplication::quitOnLastWindowClosed()) QCoreApplication::quit();
}

QMenu* MainWindow::BuildPageMenu() {
  auto* menu = new QMenu(this);
  menu->setObjectName("PageMenu");
  QAction* diff = menu->addAction("Änderungen anzeigen…", this, &MainWindow::ShowDiff);
  diff->setObjectName("ShowDiff");
  QAction* lint = menu->addAction("Seiten prüfen…", this, &MainWindow::ShowLint);
  lint->setObjectName("ShowLint");
  menu->addSeparator();
  QAction* undo =
      menu->addAction("Letzten Lauf rückgängig machen…", this, &MainWindow::UndoLastRunAsked);
  undo->setObjectName("UndoLastRun");
  QAction* to_utf8 =
      menu->addAction("Website nach UTF-8 umwandeln…", this, &MainWindow::MoveToUtf8Asked);
  to_utf8->setObjectName("MoveToUtf8");
  menu->addSeparator();
  QAction* other =
      menu->addAction("Anderen Ordner öffnen…", this, &MainWindow::OpenOtherFolderAsked);
  other->setObjectName("OpenOtherFolder");
  other->setEnabled(static_cast<bool>(dialogs.ask_folder));
  menu->setEnabled(!RunInFlight());
  return menu;
}

void MainWindow::ShowDiff() {
  ShowReport("Änderungen des Laufs", [this] { return SiteDiffReport(form_, *fs_); });
}

void MainWindow::ShowLint() {
  ShowReport("Prüfung der Seiten", [this] { return SiteLintReport(*fs_); });
}

// A report of a large site takes a while: it is made beside the window, which keeps
// repainting. Meanwhile Start and the menu are off, so the form and the file system are the
// report's alone.
void MainWindow::ShowReport(const QString& title, std::function<Report()> make) {
  if (RunInFlight()) return;
  auto text = std::make_shared<Report>();
  RunBeside([text, make = std::move(make)] { *text = make(); },
            [this, title, text] { (new ReportDialog(title, *text, this))->show(); });
}

// The question names the run found now; the undo takes back the run found under the folder's
// lock. The lock is waited for beside the window, which keeps repainting meanwhile; a run that
// ended while the question was open is asked about in its turn.
void MainWindow::UndoLastRunAsked() {
  if (RunInFlight()) return;
  const std::optional<UndoCandidate> run = FindUndoCandidate(*fs_);
  if (!run) {
    form_.SetLabel3(msg::NoRunToUndo());
    ShowLabels();
    return;
  }
  if (!AskUndo(*run)) return;
  WithLock([this, asked = run->number] { UndoLocked(asked); });
}

bool MainWindow::AskUndo(const UndoCandidate& run) {
  const QDateTime when = QDateTime::fromString(QString::fromStdString(run.time), Qt::ISODate);
  const QString shown_time = when.isValid() ? when.toLocalTime().toString("dd.MM.yyyy, HH:mm 'Uhr'")
                                            : QString::fromStdString(run.time);
  const QString question =
      QString::fromStdString(msg::UndoQuestion(run.number, shown_time.toStdString(), run.pages));
  return confirm ? confirm(question)
                 : QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes;
}

// The undo itself runs on the window's thread: it touches only the pages of one run.
// Afterwards the lists no longer match the pages, so Start stays off until the program is
// started again.
void MainWindow::UndoLocked(uint64_t asked) {
  const std::optional<UndoCandidate> run = FindUndoCandidate(*fs_);
  if (!run) {
    form_.SetLabel3(msg::NoRunToUndo());
    ShowLabels();
    return;
  }
  if (run->number != asked && !AskUndo(*run)) {
    form_.SetLabel3("");  // no longer waiting, and nothing done
    ShowLabels();
    return;
  }
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  UndoLastRun(form_, *fs_, false, /*lock_held=*/true);
  QGuiApplication::restoreOverrideCursor();
  form_.Command1Enabled = false;
  ShowLabels();
}

// Takes the folder's lock on a thread of its own (showing the wait text while another run
// holds it), then calls `then` on the window's thread and lets the lock go.
void MainWindow::WithLock(std::function<void()> then) {
  auto lock = std::make_shared<RunLock>(*fs_);
  auto locked = std::make_shared<Status>();
  form_.SetListener([this](LabelId, std::string_view, TextKind kind) { OnLabelWritten(kind); });
  RunBeside([this, lock,
             locked] { *locked = lock->Take([this] { form_.SetLabel3(msg::WaitingForLock()); }); },
            [this, lock, locked, then = std::move(then)]() mutable {
              form_.SetListener(nullptr);
              if (!*locked) {
                form_.SetLabel3(msg::AccessFailed("."));
                form_.SetLabel4(msg::Reason(*locked));
                return ShowLabels();
              }
              then();
              lock.reset();
            });
}

// Another site is a new start: the scan of the chosen folder with its texts, and Start on
// again when it succeeded. A folder that cannot be entered leaves the site as it was.
void MainWindow::OpenOtherFolderAsked() {
  if (RunInFlight() || !dialogs.ask_folder) return;
  const std::string folder = dialogs.ask_folder();
  if (folder.empty()) return;
  if (std::string failure = EnterFolder(folder); !failure.empty()) {
    if (dialogs.show_failure) dialogs.show_failure(failure);
    return;
  }
  if (make_file_system) {
    own_fs_ = make_file_system();
    fs_ = own_fs_.get();
  }
  form_ = Form();
  Load();
}

// The move to UTF-8 is checked beside the window first: a file it cannot convert is told
// without a question, a site in UTF-8 already is left alone. Afterwards, as after an undo, the
// lists no longer match the files, so Start stays off.
void MainWindow::MoveToUtf8Asked() {
  if (RunInFlight()) return;
  auto check = std::make_shared<std::pair<Form, MoveResult>>();
  check->first.List1 = form_.List1;
  auto pages = std::make_shared<size_t>(0);
  RunBeside(
      [this, check, pages] {
        check->second = MoveSiteToUtf8(check->first, *fs_, RunMode::kCheck);
        if (check->second.run.failure.ok() && check->second.run.stale_pages > 0)
          *pages = PagesToConvert(check->first, *fs_);
      },
      [this, check, pages] {
        if (!check->second.run.failure.ok() || check->second.run.stale_pages == 0) {
          form_.SetLabel3(check->first.Label3());
          return ShowMoveResult(check->second);
        }
        const QString question = QString::fromStdString(msg::ToUtf8Question(*pages));
        if (!(confirm ? confirm(question)
                      : QMessageBox::question(this, windowTitle(), question) == QMessageBox::Yes))
          return;
        auto moved = std::make_shared<MoveResult>();
        form_.SetListener(
            [this](LabelId, std::string_view, TextKind kind) { OnLabelWritten(kind); });
        RunBeside([this, moved] { *moved = MoveSiteToUtf8(form_, *fs_, RunMode::kWrite); },
                  [this, moved] {
                    form_.SetListener(nullptr);
                    ShowMoveResult(*moved);
                  });
      });
}

// A failure's reason goes into the detail line, as splicery-cli prints it on its reason line.
void MainWindow::ShowMoveResult(const MoveResult& result) {
  if (!result.reason.empty()) {
    form_.SetLabel4(result.reason);
  } else if (!result.run.failure.ok()) {
    form_.SetLabel4(result.run.failure.path() + ": " + msg::Reason(result.run.failure));
  }
  ShowLabels();
}

// `work` on a thread of its own, with the busy cursor and Start and the menu off, so that the
// form and the file system are its alone; then `done` on the window's thread, unless the
// window was closed meanwhile.
void MainWindow::RunBeside(std::function<void()> work, std::function<void()> done) {
  QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  Command1->setEnabled(false);
  detail_writes_ = 0;
  since_paint_.start();
  worker_ = QThread::create(std::move(work));
  worker_->setParent(this);
  connect(worker_, &QThread::finished, this, [this, done = std::move(done)] {
    worker_->wait();
    worker_->deleteLater();
    worker_ = nullptr;
    QGuiApplication::restoreOverrideCursor();
    Command1->setEnabled(form_.Command1Enabled);
    emit RunInFlightChanged(false);
    if (close_after_run_) return CloseNow();
    done();
  });
  worker_->start();
  emit RunInFlightChanged(true);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!RunInFlight()) return QWidget::closeEvent(event);
  close_after_run_ = true;
  hide();
  event->ignore();
}

void MainWindow::ShowStatus(const QString& label3, const QString& label4) {
  Label3->setText(label3);
  Label4->setText(label4);
}

void MainWindow::ShowLabels() {
  ShowStatus(ShownText(form_.Label3()), ShownLabel4());
  Command1->setEnabled(form_.Command1Enabled);
}

// The detail line: a page line in its page's encoding, any other text as the program's own.
QString MainWindow::ShownLabel4() const {
  const std::string_view encoding = form_.Label4Encoding();
  return ShownText(form_.Label4(),
                   [encoding](std::string_view bytes) { return DisplayUtf8(bytes, encoding); });
}

void MainWindow::ShowAll() {
  ShowLabels();
  model1_->Reload();
  model2_->Reload();
  model5_->Reload();
}

// Called on the run's thread for every text the core writes. The status lines are updated a
// few times a second with copies of the texts made here, where reading the form is safe; the
// clock is read only now and then, as the detail line changes with every page line.
void MainWindow::OnLabelWritten(TextKind kind) {
  if (kind == TextKind::kPageLine && ++detail_writes_ % 512 != 0) return;
  // The text before a wait is the last one for a while: it is shown however soon it came.
  if (kind != TextKind::kWaiting && since_paint_.elapsed() < repaint_interval_ms_) return;
  since_paint_.start();
  QMetaObject::invokeMethod(
      this,
      [this, label3 = ShownText(form_.Label3()), label4 = ShownLabel4()] {
        // A late copy must not overwrite the texts the finished run has left.
        if (RunInFlight()) ShowStatus(label3, label4);
      },
      Qt::QueuedConnection);
}

}  // namespace splicery
