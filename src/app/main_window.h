// Form1, the one window: shows the core's data and hands its two events to the core.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include "core/form.h"

class QLabel;
class QListView;
class QPushButton;

namespace splicery {

class ListModel;

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  // Client area and control geometry come in twips; the screen has 15 twips per pixel.
  static constexpr int kTwipsPerPixel = 15;

  MainWindow(Form& form, FileSystem& fs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The load event: runs the start-up scan and shows its result. Call before show().
  void Load();

  // During a long handler the status lines repaint at most this often (default 200 ms).
  void set_repaint_interval_ms(qint64 ms) { repaint_interval_ms_ = ms; }

 private slots:
  void OnCommand1Clicked();

 private:
  QListView* AddList(const char* name, int left, int top, int width, int height);
  QLabel* AddLabel(const char* name, const QString& caption, int left, int top, int width,
                   int height);
  void ShowLabels();
  void ShowAll();
  void OnLabelWritten(LabelId label);

  Form& form_;
  FileSystem& fs_;
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
  QElapsedTimer since_paint_;
  qint64 repaint_interval_ms_ = 200;
  size_t detail_writes_ = 0;
};

}  // namespace splicery
