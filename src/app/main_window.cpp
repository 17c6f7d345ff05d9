// The window's controls, laid out as designed in twips, and its two event hooks.
#include "app/main_window.h"

#include <QLabel>
#include <QListView>
#include <QPalette>
#include <QPushButton>

#include "app/list_model.h"
#include "scan/startup_scan.h"
#include "update/update_run.h"

namespace splicery {
namespace {

constexpr int Px(int twips) { return twips / MainWindow::kTwipsPerPixel; }

}  // namespace

MainWindow::MainWindow(Form& form, FileSystem& fs, QWidget* parent)
    : QWidget(parent), form_(form), fs_(fs) {
  setObjectName("Form1");
  setWindowTitle(QString::fromUtf8(Form::kCaption.data(), Form::kCaption.size()));
  setFixedSize(Px(10350), Px(8070));

  // Created in tab order, so that the default focus chain is the designed one.
  List1 = AddList("List1", 5040, 360, 5175, 1620);
  Label1 = AddLabel("Label1", "Include-Quelle: INCLUDE.HTM:", 120, 120, 4455, 255);
  Label2 = AddLabel("Label2", "Include-Ziele:", 4920, 120, 4455, 375);
  Command1 = new QPushButton("Start", this);
  Command1->setObjectName("Command1");
  Command1->setGeometry(Px(5040), Px(7320), Px(1695), Px(495));
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

  model1_ = new ListModel([this]() -> const std::vector<std::string>& { return form_.List1; },
                          this);
  model2_ = new ListModel([this]() -> const std::vector<std::string>& { return form_.List2; },
                          this);
  model5_ = new ListModel(
      [this]() -> const std::vector<std::string>& { return form_.List5.items(); }, this);
  List1->setModel(model1_);
  List2->setModel(model2_);
  List5->setModel(model5_);

  connect(Command1, &QPushButton::clicked, this, &MainWindow::OnCommand1Clicked);
  form_.SetListener([this](LabelId label, std::string_view, TextKind) { OnLabelWritten(label); });
  List1->setFocus();
}

// The form may outlive the window: it must never call into a window that is gone.
MainWindow::~MainWindow() { form_.SetListener(nullptr); }

QListView* MainWindow::AddList(const char* name, int left, int top, int width, int height) {
  auto* list = new QListView(this);
  list->setObjectName(name);
  list->setGeometry(Px(left), Px(top), Px(width), Px(height));
  list->setUniformItemSizes(true);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return list;
}

QLabel* MainWindow::AddLabel(const char* name, const QString& caption, int left, int top,
                             int width, int height) {
  auto* label = new QLabel(caption, this);
  label->setObjectName(name);
  label->setGeometry(Px(left), Px(top), Px(width), Px(height));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

void MainWindow::Load() {
  since_paint_.start();
  RunStartupScan(form_, fs_);
  ShowAll();
}

void MainWindow::OnCommand1Clicked() {
  if (!form_.Command1Enabled) return;
  since_paint_.start();
  RunUpdate(form_, fs_, RunMode::kWrite);
  ShowAll();
}

void MainWindow::ShowLabels() {
  Label3->setText(ToDisplay(form_.Label3()));
  Label4->setText(ToDisplay(form_.Label4()));
  Command1->setEnabled(form_.Command1Enabled);
}

void MainWindow::ShowAll() {
  ShowLabels();
  model1_->Reload();
  model2_->Reload();
  model5_->Reload();
}

// Called for every text the core writes; repaints the status lines a few times a second.
// repaint() paints at once without running the event loop, so no input is handled meanwhile.
// The clock is read only now and then: the detail line changes with every page line.
void MainWindow::OnLabelWritten(LabelId label) {
  if (label == LabelId::kLabel4 && ++detail_writes_ % 512 != 0) return;
  if (!isVisible() || since_paint_.elapsed() < repaint_interval_ms_) return;
  since_paint_.start();
  ShowLabels();
  Label3->repaint();
  Label4->repaint();
  Command1->repaint();
}

}  // namespace splicery
