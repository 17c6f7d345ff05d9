// SPDX-License-Identifier: GPL-3.0-or-later
// The window under the offscreen platform: controls as designed, load and Start through the
// core, keyboard use, the run on its own thread, long entries.
#include "app/main_window.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <atomic>
#include <latch>
#include <map>
#include <memory>

#include "app/list_model.h"
#include "app/report_dialog.h"
#include "files/posix_file_system.h"
#include "scan/startup_scan.h"
#include "support/fault_file_system.h"
#include "support/temp_site.h"
#include "update/update_run.h"

namespace splicery {
namespace {

using testing::TempSite;

struct Control {
  const char* name;
  const char* caption;           // nullptr: no caption
  int left, top, width, height;  // twips
};

// The designed layout, in tab order.
const Control kControls[] = {
    {"List1", nullptr, 5040, 360, 5175, 1620},
    {"Label1", "Include-Quelle: INCLUDE.HTM:", 120, 120, 4455, 255},
    {"Label2", "Include-Ziele:", 4920, 120, 4455, 375},
    {"Command1", "Start", 5040, 7320, 1695, 495},
    {"Label3", nullptr, 5040, 6360, 5055, 255},
    {"Label4", nullptr, 5040, 6720, 5175, 255},
    {"List2", nullptr, 120, 360, 4695, 7470},
    {"List3", nullptr, 8400, 7200, 735, 645},
    {"List4", nullptr, 9360, 7200, 855, 645},
    {"Label5",
     "Nach Änderung der INCLUDE.TXT oder INCLUDE.HTM einmal dieses Programm schließen und neu "
     "starten!",
     5040, 5520, 5175, 615},
    {"List5", nullptr, 5040, 2400, 5175, 2985},
    {"Label6", "NEWS: Datum___Dateiname___Name", 5040, 2160, 4695, 255},
};

QStringList Items(QListView* list) {
  QStringList items;
  for (int row = 0; row < list->model()->rowCount(); ++row)
    items << list->model()->index(row, 0).data().toString();
  return items;
}

TEST(MainWindow, ControlsAsDesigned) {
  TempSite site({{"include.txt", ""}, {"include.htm", ""}});
  PosixFileSystem fs;
  Form form;
  MainWindow window(form, fs);
  EXPECT_EQ(window.windowTitle(), "Splicery V. 1.0");
  EXPECT_EQ(window.size(), QSize(690, 538));
  EXPECT_EQ(window.minimumSize(), QSize(640, 440));
  EXPECT_EQ(window.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
  EXPECT_EQ(window.windowIcon().availableSizes(),
            QList<QSize>({{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
  for (const Control& c : kControls) {
    SCOPED_TRACE(c.name);
    auto* widget = window.findChild<QWidget*>(c.name);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
    if (c.caption) {
      QString text = qobject_cast<QLabel*>(widget) ? qobject_cast<QLabel*>(widget)->text()
                                                   : qobject_cast<QPushButton*>(widget)->text();
      EXPECT_EQ(text, QString::fromUtf8(c.caption));
    }
  }
  EXPECT_EQ(window.findChild<QWidget*>("List1")->geometry(), QRect(336, 24, 345, 108));
  EXPECT_TRUE(window.findChild<QLabel*>("Label5")->wordWrap());
  for (const char* name : {"Label3", "Label4"}) {
    auto* label = window.findChild<QLabel*>(name);
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0, 0, 255)) << name;
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << name;
  }
  EXPECT_NE(window.findChild<QLabel*>("Label1")->palette().color(QPalette::WindowText),
            QColor(0, 0, 255));
  auto* button = window.findChild<QPushButton*>("Command1");
  EXPECT_FALSE(button->isDefault());
  EXPECT_FALSE(button->autoDefault());
}

const testing::Files kSite = {
    {"include.txt", "b.htm\na.htm\n"},
    {"include.htm",
     "<!-- INCLUDE MENU -->m\nnot an include line\n<!-- INCLUDE NEWS --><!-- NEWS NAME -->\n"},
    {"a.htm",
     "<!-- STAND START -->01.01.2001<!--Grüße-->\n"
     "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n<!-- INCLUDE END -->\n"},
    {"b.htm",
     "<!-- STAND START -->02.02.2002<!--Stra\xDF"
     "e-->\n"},  // Latin-1
};

// Holds the run in its first backup copy until the test lets it go.
class HeldFileSystem : public testing::FaultFileSystem {
 public:
  using FaultFileSystem::FaultFileSystem;
  Status CreateFile(const std::string& path, std::string_view bytes, uint32_t mode) override {
    if (!held.try_wait()) {
      held.count_down();
      release.wait();
    }
    return FaultFileSystem::CreateFile(path, bytes, mode);
  }
  std::latch held{1}, release{1};
};

// Another run holds the folder's lock (once `block` is set) until the test releases it.
class LockHeldElsewhere : public testing::FaultFileSystem {
 public:
  using FaultFileSystem::FaultFileSystem;
  Status LockFolder(const std::string& folder, const std::function<void()>& on_wait) override {
    if (block.exchange(false)) {
      on_wait();
      release.wait();
    }
    return FaultFileSystem::LockFolder(folder, on_wait);
  }
  std::atomic<bool> block{false};
  std::latch release{1};
};

// A double over the real disk, or the real disk itself (a file system of its own).
template <typename Fs>
struct FsOver : Fs {
  explicit FsOver(PosixFileSystem& real) : Fs(real) {}
};
template <>
struct FsOver<PosixFileSystem> : PosixFileSystem {
  explicit FsOver(PosixFileSystem&) {}
};

// The window shown after its load event, in a scratch site built from `files`, working through
// `Fs` (a double over the real disk, or the real disk itself).
template <typename Fs = PosixFileSystem>
struct ShownWindowOver {
  explicit ShownWindowOver(const testing::Files& files) : site(files), window(form, fs) {
    window.Load();
    window.show();
  }
  bool WaitForRunEnd() {
    return QTest::qWaitFor([this] { return !window.RunInFlight(); });
  }
  TempSite site;
  PosixFileSystem real;
  FsOver<Fs> fs{real};
  Form form;
  MainWindow window;
};
using ShownWindow = ShownWindowOver<>;

// The sanitizer build turns a call into the destroyed window into a failure.
TEST(MainWindow, TheFormOutlivesItsWindow) {
  Form form;
  PosixFileSystem fs;
  { MainWindow window(form, fs); }
  form.SetLabel3("nach dem Fenster");
  EXPECT_EQ(form.Label3(), "nach dem Fenster");
}

TEST(MainWindow, LoadFillsTheListsAndStatusLines) {
  ShownWindow shown(kSite);
  MainWindow& window = shown.window;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(Items(window.findChild<QListView*>("List1")), QStringList({"b.htm", "a.htm"}));
  EXPECT_EQ(Items(window.findChild<QListView*>("List2")),
            QStringList({"<!-- INCLUDE MENU -->m", "<!-- INCLUDE NEWS --><!-- NEWS NAME -->"}));
  EXPECT_EQ(Items(window.findChild<QListView*>("List5")),
            QStringList({QString::fromUtf8("2001.01.01___a.htm___Grüße"),
                         QString::fromUtf8("2002.02.02___b.htm___Straße")}));
  EXPECT_EQ(window.findChild<QLabel*>("Label3")->text(), "Datei a.htm wird bearbeitet");
  EXPECT_EQ(window.findChild<QLabel*>("Label4")->text(),
            " 2 Include-Zeilen in INCLUDE.HTM gefunden");
  EXPECT_FALSE(window.findChild<QWidget*>("List3")->isVisible());
  EXPECT_FALSE(window.findChild<QWidget*>("List4")->isVisible());
  EXPECT_EQ(window.focusWidget(), window.findChild<QWidget*>("List1"));
  EXPECT_TRUE(window.findChild<QPushButton*>("Command1")->isEnabled());
}

TEST(MainWindow, KeyboardTabOrderAndSpaceOnStart) {
  ShownWindow shown(kSite);
  MainWindow& window = shown.window;
  QApplication::setActiveWindow(&window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto* list1 = window.findChild<QWidget*>("List1");
  auto* button = window.findChild<QPushButton*>("Command1");
  auto* list2 = window.findChild<QWidget*>("List2");
  auto* list5 = window.findChild<QWidget*>("List5");
  list1->setFocus();
  // Labels and the hidden working lists never take the focus.
  std::vector<QWidget*> chain;
  for (int i = 0; i < 4; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    chain.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(chain, (std::vector<QWidget*>{button, list2, list5, list1}));

  QTest::keyClick(list1, Qt::Key_Tab);
  ASSERT_EQ(QApplication::focusWidget(), button);
  QTest::keyClick(button, Qt::Key_Space);
  EXPECT_FALSE(button->isEnabled());
  ASSERT_TRUE(shown.WaitForRunEnd());
  EXPECT_FALSE(button->isEnabled());
  EXPECT_EQ(window.findChild<QLabel*>("Label3")->text(),
            QString::fromUtf8("INCLUDE wurde erfolgreich durchgeführt"));
  EXPECT_EQ(window.findChild<QLabel*>("Label4")->text(), "");
  EXPECT_EQ(TempSite::Read("a.htm"),
            "<!-- STAND START -->01.01.2001<!--Grüße-->\n"
            "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\nm\n<!-- INCLUDE END -->\n");

  // Once disabled, Start is skipped and a second press starts nothing.
  list1->setFocus();
  QTest::keyClick(list1, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), list2);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_FALSE(TempSite::Exists("splicery.sic/a.htm. 2.htm"));
}

// The run works on its own thread: while it waits on the disk the event loop turns and shows
// its status texts; a close hides the window, the run finishes, then the program quits.
TEST(MainWindow, RunsOffTheWindowThread) {
  ShownWindowOver<HeldFileSystem> shown(kSite);
  MainWindow& window = shown.window;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.set_repaint_interval_ms(0);
  QSignalSpy in_flight(&window, &MainWindow::RunInFlightChanged);
  auto* button = window.findChild<QPushButton*>("Command1");
  auto* label3 = window.findChild<QLabel*>("Label3");

  button->click();
  EXPECT_TRUE(window.RunInFlight());
  EXPECT_FALSE(button->isEnabled());
  shown.fs.held.wait();
  EXPECT_FALSE(std::unique_ptr<QMenu>(window.BuildPageMenu())->isEnabled());
  bool timer_fired = false;
  QTimer::singleShot(0, &window, [&timer_fired] { timer_fired = true; });
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return timer_fired && label3->text() == "Datei b.htm wird bearbeitet"; }));

  window.close();
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(window.RunInFlight());
  shown.fs.release.count_down();
  // The event loop ends only by the close after the run; the timer guards against a hang.
  QTimer hang;
  QObject::connect(&hang, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  hang.start(20000);
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_FALSE(window.RunInFlight());
  EXPECT_EQ(label3->text(), QString::fromUtf8("INCLUDE wurde erfolgreich durchgeführt"));
  EXPECT_EQ(TempSite::Read("a.htm"),
            "<!-- STAND START -->01.01.2001<!--Grüße-->\n"
            "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\nm\n<!-- INCLUDE END -->\n");
  EXPECT_EQ(in_flight.count(), 2);
}

// Shift+F10 on the page list opens the menu; each entry shows a report of the whole site.
TEST(MainWindow, PageMenuShowsTheDiffAndTheFindingsOfTheSite) {
  ShownWindow shown(kSite);
  MainWindow& window = shown.window;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::keyClick(window.findChild<QListView*>("List1"), Qt::Key_F10, Qt::ShiftModifier);
  QMenu* menu = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    for (QMenu* m : window.findChildren<QMenu*>("PageMenu")) menu = m->isVisible() ? m : menu;
    return menu != nullptr;
  }));
  QStringList texts;
  for (QAction* action : menu->actions()) texts << action->text();
  EXPECT_EQ(texts, QStringList({"Änderungen anzeigen…", "Seiten prüfen…", "",
                                "Letzten Lauf rückgängig machen…", "Website nach UTF-8 umwandeln…",
                                "", "Anderen Ordner öffnen…"}));
  menu->close();

  const std::pair<const char*, std::string> reports[] = {
      {"ShowLint",
       "include.txt:2: Hinweis: Datei wird von keiner Seite verlinkt\n"
       "b.htm:1: Hinweis: Seite enthält Zeichen außerhalb von ASCII, erklärt aber keinen "
       "Zeichensatz\n"
       "a.htm:1: Hinweis: Seite enthält Zeichen außerhalb von ASCII, erklärt aber keinen "
       "Zeichensatz\n"
       "include.htm:3: Hinweis: Include-Zeile wird von keinem Block verwendet\n"
       "0 Fehler, 0 Warnungen, 4 Hinweise\n"},
      {"ShowDiff",
       "--- a/a.htm\n+++ b/a.htm\n@@ -1,4 +1,5 @@\n <!-- STAND START -->01.01.2001<!--Grüße-->\n"
       " <!-- INCLUDE START -->\n"
       " <!-- INCLUDE MENU -->\n+m\n <!-- INCLUDE END -->\n"},
  };
  for (const auto& [action, text] : reports) {
    std::unique_ptr<QMenu> fresh(window.BuildPageMenu());
    fresh->findChild<QAction*>(action)->trigger();
    ReportDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog = window.findChild<ReportDialog*>("Report"); }))
        << action;
    EXPECT_EQ(dialog->text().toStdString(), text) << action;
    delete dialog;
  }
  EXPECT_FALSE(TempSite::Exists("splicery.sic"));
}

// After Start, the menu takes the run back once the user agreed; Start stays off.
TEST(MainWindow, PageMenuTakesTheRunBack) {
  ShownWindow shown(kSite);
  MainWindow& window = shown.window;
  window.findChild<QPushButton*>("Command1")->click();
  ASSERT_TRUE(shown.WaitForRunEnd());
  ASSERT_NE(TempSite::Read("a.htm"), kSite.at("a.htm"));
  QString asked;
  window.confirm = [&asked](const QString& question) {
    asked = question;
    return true;
  };
  std::unique_ptr<QMenu>(window.BuildPageMenu())->findChild<QAction*>("UndoLastRun")->trigger();
  ASSERT_TRUE(shown.WaitForRunEnd());  // the lock is taken beside the window
  EXPECT_TRUE(asked.startsWith("Lauf 1 vom ")) << asked.toStdString();
  EXPECT_TRUE(asked.contains("1 Seite geändert")) << asked.toStdString();
  EXPECT_EQ(window.findChild<QLabel*>("Label3")->text(), "Lauf 1 wurde rückgängig gemacht");
  EXPECT_EQ(TempSite::Read("a.htm"), kSite.at("a.htm"));
  EXPECT_FALSE(window.findChild<QPushButton*>("Command1")->isEnabled());
}

const QString kWaiting = "Warte auf einen anderen Lauf in diesem Ordner ...";

// While another run holds the folder, Start says so at once and for as long as it waits.
TEST(MainWindow, StartShowsThatItWaitsForAnotherRun) {
  ShownWindowOver<LockHeldElsewhere> shown(kSite);
  auto* label3 = shown.window.findChild<QLabel*>("Label3");
  shown.fs.block = true;
  shown.window.findChild<QPushButton*>("Command1")->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return label3->text() == kWaiting; }));
  QTest::qWait(300);  // longer than the repaint interval
  EXPECT_EQ(label3->text(), kWaiting);
  shown.fs.release.count_down();
  ASSERT_TRUE(shown.WaitForRunEnd());
  EXPECT_EQ(label3->text(), QString::fromUtf8("INCLUDE wurde erfolgreich durchgeführt"));
}

// A run that ends while the undo waits for the lock is asked about before anything is undone;
// the window repaints and shows the wait meanwhile.
TEST(MainWindow, UndoAsksAgainWhenAnotherRunEndedMeanwhile) {
  ShownWindowOver<LockHeldElsewhere> shown(kSite);
  MainWindow& window = shown.window;
  window.findChild<QPushButton*>("Command1")->click();
  ASSERT_TRUE(shown.WaitForRunEnd());
  std::vector<QString> asked;
  window.confirm = [&asked](const QString& question) {
    asked.push_back(question);
    return true;
  };
  shown.fs.block = true;
  std::unique_ptr<QMenu>(window.BuildPageMenu())->findChild<QAction*>("UndoLastRun")->trigger();
  auto* label3 = window.findChild<QLabel*>("Label3");
  EXPECT_TRUE(QTest::qWaitFor([&] { return label3->text() == kWaiting; }));
  EXPECT_TRUE(window.RunInFlight());
  // Meanwhile another program's run 2 rewrites a.htm again.
  TempSite::Write("a.htm", kSite.at("a.htm"));
  Form other;
  ASSERT_TRUE(RunStartupScan(other, shown.real).ok());
  ASSERT_EQ(RunUpdate(other, shown.real, RunMode::kWrite).outcome, RunOutcome::kSuccess);
  shown.fs.release.count_down();
  ASSERT_TRUE(shown.WaitForRunEnd());
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_TRUE(asked[0].startsWith("Lauf 1 vom")) << asked[0].toStdString();
  EXPECT_TRUE(asked[1].startsWith("Lauf 2 vom")) << asked[1].toStdString();
  EXPECT_EQ(label3->text(), "Lauf 2 wurde rückgängig gemacht");
  EXPECT_EQ(TempSite::Read("a.htm"), kSite.at("a.htm"));
}

// include.htm in ISO-8859-2, a page in ISO-8859-7: each text shows in its own file's encoding,
// where ISO-8859-1 or windows-1252 would show other letters.
const testing::Files kGreekSite = {
    {"include.txt", "g.htm\n"},
    {"include.htm", "<meta charset=\"iso-8859-2\">\n<!-- INCLUDE MENU -->\xB1\n"},
    {"g.htm",
     "<meta charset=\"iso-8859-7\">\n<!-- STAND START -->01.01.2001<!--\xE1\xE2-->\n"
     "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\n<!-- INCLUDE END -->\n"},
};

TEST(MainWindow, ShowsEveryTextInItsOwnFilesEncoding) {
  ShownWindow shown(kGreekSite);
  MainWindow& window = shown.window;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(Items(window.findChild<QListView*>("List2")),
            QStringList({QString::fromUtf8("<!-- INCLUDE MENU -->ą")}));
  EXPECT_EQ(Items(window.findChild<QListView*>("List5")),
            QStringList({QString::fromUtf8("2001.01.01___g.htm___αβ")}));
  EXPECT_EQ(window.findChild<QListView*>("List5")->model()->index(0, 0).data(Qt::ToolTipRole),
            QString::fromUtf8("<p style='white-space:pre-wrap'>2001.01.01___g.htm___αβ</p>"));
  std::unique_ptr<QMenu>(window.BuildPageMenu())->findChild<QAction*>("ShowDiff")->trigger();
  ReportDialog* dialog = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog = window.findChild<ReportDialog*>("Report"); }));
  // The fragment goes in as a reference: ISO-8859-7 has no ą.
  EXPECT_TRUE(
      dialog->text().contains(QString::fromUtf8(" <!-- STAND START -->01.01.2001<!--αβ-->\n")))
      << dialog->text().toStdString();
  EXPECT_TRUE(dialog->text().contains("\n+&#261;\n")) << dialog->text().toStdString();
  delete dialog;
}

// The menu moves the site to UTF-8 once the user agreed to the question naming its pages;
// afterwards Start stays off.
TEST(MainWindow, PageMenuMovesTheSiteToUtf8) {
  ShownWindow shown(kGreekSite);
  MainWindow& window = shown.window;
  QString asked;
  window.confirm = [&asked](const QString& question) {
    asked = question;
    return true;
  };
  std::unique_ptr<QMenu>(window.BuildPageMenu())->findChild<QAction*>("MoveToUtf8")->trigger();
  EXPECT_TRUE(window.RunInFlight());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.RunInFlight() && !asked.isEmpty(); }));
  ASSERT_TRUE(shown.WaitForRunEnd());
  EXPECT_TRUE(asked.startsWith("Website nach UTF-8 umwandeln? 1 Seite und include.htm"))
      << asked.toStdString();
  EXPECT_EQ(window.findChild<QLabel*>("Label3")->text(), "2 Dateien wurden nach UTF-8 umgewandelt");
  EXPECT_EQ(TempSite::Read("g.htm"),
            "<meta charset=\"utf-8\">\n<!-- STAND START -->01.01.2001<!--αβ-->\n"
            "<!-- INCLUDE START -->\n<!-- INCLUDE MENU -->\ną\n<!-- INCLUDE END -->\n");
  EXPECT_FALSE(window.findChild<QPushButton*>("Command1")->isEnabled());

  // Now in UTF-8: the menu says so, without a question.
  asked.clear();
  std::unique_ptr<QMenu>(window.BuildPageMenu())->findChild<QAction*>("MoveToUtf8")->trigger();
  ASSERT_TRUE(shown.WaitForRunEnd());
  EXPECT_TRUE(asked.isEmpty());
  EXPECT_EQ(window.findChild<QLabel*>("Label3")->text(),
            "Die Website ist schon in UTF-8: nichts umzuwandeln");
}

// The window opens as designed, or as large as the screen's free area allows, never below
// the minimum.
TEST(MainWindow, OpeningSizeFitsTheScreen) {
  const struct {
    QSize available, frame, opening;
  } cases[] = {
      {{1920, 1040}, {8, 40}, {690, 538}},
      {{853, 501}, {8, 40}, {690, 461}},  // 1280x800 at 150%, less a panel
      {{600, 400}, {8, 40}, {640, 440}},
      {{695, 600}, {10, 30}, {685, 538}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MainWindow::OpeningSize(c.available, c.frame), c.opening)
        << c.available.width() << "x" << c.available.height();
  }
}

// Resized, the lists take the room; labels and Start keep their sizes. At the minimum all
// controls fit without overlapping and every list still shows three rows; back at the
// designed size every control is where it was designed.
TEST(MainWindow, ResizingGivesTheRoomToTheLists) {
  // Entries wider than the lists, so that each shows its horizontal scroll bar too.
  testing::Files files;
  for (int i = 0; i < 20; ++i) {
    const std::string page =
        "unterordner-mit-langem-namen-" + std::string(40, 'x') + std::to_string(i) + ".htm";
    files["include.txt"] += page + "\n";
    files["include.htm"] += "<!-- INCLUDE MENU -->" + std::string(200, 'm') + "\n";
    files[page] = "<!-- STAND START -->01.01.2001<!--" + std::string(100, 't') + "-->\n";
  }
  ShownWindow shown(files);
  MainWindow& window = shown.window;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  std::map<QString, QRect> designed;
  for (const Control& c : kControls)
    designed[c.name] = window.findChild<QWidget*>(c.name)->geometry();
  const QStringList lists = {"List1", "List2", "List5"};

  window.resize(300, 200);  // below the minimum: held there
  ASSERT_EQ(window.size(), QSize(640, 440));
  QList<QWidget*> shown_controls;
  for (const Control& c : kControls) {
    auto* widget = window.findChild<QWidget*>(c.name);
    if (widget->isVisible()) shown_controls << widget;
  }
  for (QWidget* a : shown_controls) {
    SCOPED_TRACE(a->objectName().toStdString());
    EXPECT_TRUE(window.rect().contains(a->geometry()));
    for (QWidget* b : shown_controls) {
      EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry()))
          << b->objectName().toStdString();
    }
    if (auto* list = qobject_cast<QListView*>(a)) {
      ASSERT_GT(list->model()->rowCount(), 3);
      EXPECT_TRUE(list->horizontalScrollBar()->isVisible());
      EXPECT_GE(list->viewport()->height(), 3 * list->sizeHintForRow(0));
    }
  }
  EXPECT_EQ(window.findChild<QWidget*>("Command1")->size(), designed["Command1"].size());

  window.resize(1035, 807);
  for (const Control& c : kControls) {
    SCOPED_TRACE(c.name);
    const QRect now = window.findChild<QWidget*>(c.name)->geometry();
    EXPECT_TRUE(window.rect().contains(now));
    if (lists.contains(c.name)) {
      EXPECT_GT(now.width(), designed[c.name].width());
      EXPECT_GT(now.height(), designed[c.name].height());
    } else {
      EXPECT_EQ(now.size(), designed[c.name].size());
    }
  }

  window.resize(690, 538);
  for (const Control& c : kControls)
    EXPECT_EQ(window.findChild<QWidget*>(c.name)->geometry(), designed[c.name]) << c.name;
}

// "Anderen Ordner öffnen…" loads the chosen folder as a start does, with a fresh file system:
// its lists and the scan's texts, Start on after a scan that succeeded and off after one that
// failed. A cancelled dialog or a folder that cannot be entered leaves the site as it was.
TEST(MainWindow, OpensAnotherFolder) {
  ShownWindow shown({{"include.txt", "a.htm\n"},  // no include.htm: the start failed
                     {"zwei/include.txt", "b.htm\n"},
                     {"zwei/include.htm", "<!-- INCLUDE MENU -->m\n"},
                     {"zwei/b.htm", "<!-- STAND START -->02.02.2002<!--Fest-->\n"},
                     {"kaputt/include.txt", "c.htm\n"}});
  MainWindow& window = shown.window;
  const std::string top = shown.site.dir();
  std::string answer, failure;
  int file_systems = 0;
  window.dialogs = {[&answer] { return answer; },
                    [&failure](const std::string& message) { failure = message; }};
  window.make_file_system = [&file_systems] {
    ++file_systems;
    return std::make_unique<PosixFileSystem>();
  };
  auto* button = window.findChild<QPushButton*>("Command1");
  ASSERT_FALSE(button->isEnabled());
  const struct {
    std::string answer, folder;
    bool start;
    QStringList pages;
    QString label3;
    std::string failure;
  } steps[] = {
      {"", top, false, {"a.htm"}, "FEHLER beim Lesen von INCLUDE.HTM", ""},
      {top + "/fehlt",
       top,
       false,
       {"a.htm"},
       "FEHLER beim Lesen von INCLUDE.HTM",
       "Verzeichnis " + top + "/fehlt kann nicht betreten werden: nicht vorhanden"},
      {top + "/zwei", top + "/zwei", true, {"b.htm"}, "Datei b.htm wird bearbeitet", ""},
      {top + "/kaputt", top + "/kaputt", false, {"c.htm"}, "FEHLER beim Lesen von INCLUDE.HTM", ""},
      {top + "/zwei", top + "/zwei", true, {"b.htm"}, "Datei b.htm wird bearbeitet", ""},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.answer);
    answer = step.answer;
    failure.clear();
    std::unique_ptr<QMenu> menu(window.BuildPageMenu());
    QAction* open = menu->findChild<QAction*>("OpenOtherFolder");
    ASSERT_TRUE(open->isEnabled());
    open->trigger();
    char cwd[4096];
    ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
    EXPECT_EQ(cwd, step.folder);
    EXPECT_EQ(button->isEnabled(), step.start);
    EXPECT_EQ(Items(window.findChild<QListView*>("List1")), step.pages);
    EXPECT_EQ(window.findChild<QLabel*>("Label3")->text(), step.label3);
    EXPECT_EQ(failure, step.failure);
  }
  EXPECT_EQ(file_systems, 3);
  button->click();
  ASSERT_TRUE(shown.WaitForRunEnd());
  EXPECT_TRUE(TempSite::Exists("splicery.sic/b.htm. 1.htm"));
}

// Every entry can be read: the scroll range fits the longest one and a tooltip shows it as it
// is written; a huge one is laid out only up to its first few hundred characters.
TEST(MainWindow, LongEntriesCanBeRead) {
  const std::string footer =
      "<!-- INCLUDE FUSS --><p class=\"fuss\">TSV Lindenau 1923 e.V. &middot; Vereinsheim am "
      "Mühlbach 12 &middot; Training dienstags und donnerstags ab 18 Uhr</p>";
  const std::string huge = "<!-- INCLUDE HUGE -->" + std::string(4 << 20, 'x');
  // The view sizes its rows from one sample row, the last: it is a short one here.
  ShownWindow shown({{"include.txt", "a.htm\nb.htm\n"},
                     {"include.htm", footer + "\n" + huge + "\n<!-- INCLUDE MENU -->m\n"},
                     {"a.htm",
                      "<!-- STAND START -->01.01.2001<!--Neue Trainingszeiten ab "
                      "Oktober für alle Jugendmannschaften-->\n"},
                     {"b.htm", "<!-- STAND START -->02.02.2002<!--Fest-->\n"}});
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown.window));
  const struct {
    const char* list;
    int row;
    QString whole;
  } cases[] = {
      {"List2", 0, QString::fromUtf8(footer)},
      {"List2", 1, QString::fromStdString(huge.substr(0, kShownChars)) + QChar(0x2026)},
      {"List5", 0,
       QString::fromUtf8("2001.01.01___a.htm___Neue Trainingszeiten ab Oktober "
                         "für alle Jugendmannschaften")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.whole.left(40).toStdString());
    auto* list = shown.window.findChild<QListView*>(c.list);
    const QModelIndex index = list->model()->index(c.row, 0);
    EXPECT_EQ(index.data().toString(), c.whole);
    QTextDocument tooltip;
    tooltip.setHtml(index.data(Qt::ToolTipRole).toString());
    EXPECT_EQ(tooltip.toPlainText(), c.whole);
    const int range = list->horizontalScrollBar()->maximum() + list->viewport()->width();
    EXPECT_GE(range, list->fontMetrics().horizontalAdvance(c.whole));
  }
}

// Lists are unbounded: no item is lost past any 16-bit count.
TEST(MainWindow, ShowsLargeListsThroughTheModel) {
  std::string targets;
  for (int i = 0; i < 100000; ++i) targets += "p" + std::to_string(i) + ".htm\n";
  ShownWindow shown({{"include.txt", targets}});
  MainWindow& window = shown.window;
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(window.findChild<QListView*>("List1")->model()->rowCount(), 100000);
  EXPECT_EQ(window.findChild<QLabel*>("Label3")->text(), "FEHLER beim Lesen von INCLUDE.HTM");
  // The failed scan left no include lines: a run would empty every block, so Start is off.
  window.findChild<QPushButton*>("Command1")->click();
  EXPECT_FALSE(window.findChild<QPushButton*>("Command1")->isEnabled());
  EXPECT_FALSE(window.RunInFlight());
}

// Only what is shown is cut, on a character boundary, and the cut is marked.
TEST(ShownText, CutsLongTextsForDisplayOnly) {
  std::string umlauts = "a";
  for (int i = 0; i < 1000; ++i) umlauts += "ä";
  const struct {
    std::string bytes;
    QString shown;
  } cases[] = {
      {"kurz", "kurz"},
      {std::string(kShownChars, 'x'), QString(kShownChars, 'x')},
      {std::string(kShownChars + 1, 'x'), QString(kShownChars, 'x') + QChar(0x2026)},
      // Cut inside a two-byte character: still read as UTF-8.
      {umlauts, QString::fromUtf8(umlauts).left(kShownChars) + QChar(0x2026)},
      {std::string(2000, '\xE4'), QString(kShownChars, QChar(0xE4)) + QChar(0x2026)},  // Latin-1
      // windows-1252, never ISO-8859-1: „ “ – € are characters, not control codes.
      {"\x84x\x93 \x96 \x80",
       QString::fromUtf8("\xE2\x80\x9Ex\xE2\x80\x9C \xE2\x80\x93 \xE2\x82\xAC")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 20));
    EXPECT_EQ(ShownText(c.bytes), c.shown);
  }
}

}  // namespace
}  // namespace splicery

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
