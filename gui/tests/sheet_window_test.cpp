// The Qt sheet over the page logic: the controls a technician sees, a drop of files, the Delete
// key, a simulated phone's port enabling Start, the tabs, "Initialization" on each tab, and the
// settings kept when the window closes, and what the file dialogs list.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "corvane/platform/process.h"
#include "gui/dialogs.h"
#include "gui/normal_page_widget.h"
#include "gui/rom_copy_page_widget.h"
#include "gui/sheet_window.h"
#include "gui/sounds.h"
#include "sim/tq4410.h"
#include "support/discovery_sandbox.h"
#include "support/message_boxes.h"
#include "support/temp_dir.h"

namespace {

class SheetWindowTest : public testing::Test {
 protected:
  static PortScan::Discover NoPorts() {
    return [] { return std::vector<SerialPortEntry>{}; };
  }
  std::unique_ptr<gui::SheetWindow> Open(PortScan::Discover discover = NoPorts()) {
    return std::make_unique<gui::SheetWindow>(gui::SheetWindow::Setup{
        {platform::ExecutableDirectory(), dir.Path().string()}, std::move(discover)});
  }
  template <typename T>
  T* Find(QWidget& root, const char* name) {
    T* widget = root.findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  std::string File(const std::string& name) const {
    std::ofstream(dir / name) << "image";
    return dir / name;
  }

  testing_support::TempDir dir;
  testing_support::MessageBoxes boxes;
};

TEST_F(SheetWindowTest, ShowsThePagesAndTheirPlugInAndTakesDroppedFiles) {
  auto sheet = Open();
  sheet->show();
  EXPECT_EQ(sheet->windowTitle(), "Tarvex");
  auto* tabs = Find<QTabWidget>(*sheet, nullptr);
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->tabText(0), "Normal D/L");
  EXPECT_EQ(tabs->tabText(1), "ROM copy D/L");
  gui::NormalPageWidget& page = sheet->Normal();
  EXPECT_EQ(Find<QLabel>(page, "model")->text(), "TQ4410");
  EXPECT_EQ(Find<QLabel>(page, "version")->text(), "Ver: 1.2, 1.3");
  EXPECT_FALSE(Find<QPushButton>(page, "start")->isEnabled());

  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(File("tq.cfg"))),
                QUrl::fromLocalFile(QString::fromStdString(File("modem_psi.fls")))});
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  // Straight to the page: the application delivers a drop only to a drag it saw begin.
  static_cast<QObject&>(page).event(&drop);
  auto* files = Find<QTreeWidget>(page, "files");
  ASSERT_EQ(files->topLevelItemCount(), 2);
  EXPECT_TRUE(files->topLevelItem(0)->text(1).endsWith("modem_psi.fls"));
  EXPECT_EQ(files->headerItem()->text(1), "Files to Download(2/2)");

  files->topLevelItem(1)->setCheckState(0, Qt::Unchecked);  // as a click on its box
  EXPECT_EQ(files->headerItem()->text(1), "Files to Download(1/2)");

  files->setCurrentItem(files->topLevelItem(0));
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QApplication::sendEvent(files, &del);
  ASSERT_EQ(files->topLevelItemCount(), 1);
  EXPECT_TRUE(files->topLevelItem(0)->text(1).endsWith("tq.cfg"));
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(SheetWindowTest, APublishedPhoneEnablesStartAfterFiveScansAndItsLossDisablesIt) {
  testing_support::DiscoverySandbox sandbox;
  auto phone = std::make_unique<phonesim::SimulatedTq4410>();
  auto sheet = Open(PortScan::SystemDiscovery());
  gui::NormalPageWidget& page = sheet->Normal();
  auto* start = Find<QPushButton>(page, "start");
  for (int i = 0; i < 4; ++i) page.Page().ScanTimer();
  EXPECT_FALSE(start->isEnabled());
  page.Page().ScanTimer();
  EXPECT_TRUE(start->isEnabled());
  // "COM%d" and the system's name for the pseudo-terminal /dev/pts/N: "ptsN".
  EXPECT_EQ(Find<QComboBox>(page, "comPort")->currentText().toStdString(),
            "COM" + std::to_string(phone->PortNumber()) + " (pts" +
                std::filesystem::path(phone->Path()).filename().string() + ")");
  EXPECT_EQ(Find<QComboBox>(page, "driver")->currentText(), "Zelco Mobile USB Modem");
  phone.reset();
  page.Page().ScanTimer();
  EXPECT_FALSE(start->isEnabled());
}

TEST_F(SheetWindowTest, TabsNameTheCurrentPageAndInitializationResetsUpToTheActiveTab) {
  auto sheet = Open(NoPorts());
  auto* tabs = Find<QTabWidget>(*sheet, nullptr);
  auto* files = Find<QTreeWidget>(sheet->Normal(), "files");
  sheet->Normal().Page().AddFiles({File("tq.cfg")});
  tabs->setCurrentIndex(1);
  EXPECT_EQ(g_nCurPage, 2);
  Find<QLineEdit>(sheet->RomCopy(), "cp")->setText("/typed/cp.fls");
  tabs->setCurrentIndex(0);
  EXPECT_EQ(g_nCurPage, 1);
  Find<QPushButton>(*sheet, "initialization")->click();
  EXPECT_EQ(files->topLevelItemCount(), 0);
  EXPECT_EQ(sheet->RomCopy().Page().CpPath(), "/typed/cp.fls");  // only up to this tab

  tabs->setCurrentIndex(1);
  Find<QPushButton>(*sheet, "initialization")->click();
  EXPECT_EQ(sheet->RomCopy().Page().CpPath(), "");
  EXPECT_EQ(Find<QLineEdit>(sheet->RomCopy(), "cp")->text(), "");
  EXPECT_EQ(sheet->result(), 0);  // "Initialization" never ends the sheet
}

TEST_F(SheetWindowTest, ClosingTheSheetKeepsTheFileList) {
  const std::string cfg = File("tq.cfg");
  {
    auto sheet = Open();
    sheet->Normal().Page().AddFiles({cfg});
    Find<QPushButton>(*sheet, "exit")->click();
  }
  auto again = Open();
  auto* files = Find<QTreeWidget>(again->Normal(), "files");
  ASSERT_EQ(files->topLevelItemCount(), 1);
  EXPECT_EQ(files->topLevelItem(0)->text(1).toStdString(), cfg);
}

// A listed file that is not there (a stick not mounted yet) stays in its row, greyed, and a
// click on its box never ticks it.
TEST_F(SheetWindowTest, AMissingListedFileIsAGreyRowThatCannotBeTicked) {
  const std::string gone = dir / "modem_slb.fls";
  std::ofstream(dir / "Tarvex.ini") << "[File Lists]\n1=" << gone << "\n";
  auto sheet = Open();
  auto* files = Find<QTreeWidget>(sheet->Normal(), "files");
  ASSERT_EQ(files->topLevelItemCount(), 1);
  QTreeWidgetItem* row = files->topLevelItem(0);
  EXPECT_EQ(row->text(1).toStdString(), gone);
  EXPECT_FALSE(row->flags() & Qt::ItemIsUserCheckable);
  EXPECT_EQ(row->foreground(1).color(), files->palette().color(QPalette::Disabled, QPalette::Text));
  row->setCheckState(0, Qt::Checked);  // what a click would do, were it tickable
  EXPECT_TRUE(sheet->Normal().Page().Request().paths.empty());
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Not found, kept in the list: " + gone});
}

// A box raised on another thread is posted, never waited for: the GUI thread may be waiting for
// that very thread (a page joining its image reader). It shows over the window on screen, so
// that dismissing it is never the last window closing.
TEST_F(SheetWindowTest, AWorkersBoxIsPostedAndShownOverTheWindowOnScreen) {
  const platform::MessageBoxHook recording = platform::SetMessageBoxHook({});
  gui::InstallMessageBoxHook();
  QDialog window;
  window.show();
  std::thread reader([] { platform::ShowMessageBox("File Open Error"); });
  reader.join();  // as the page does on Remove All, Start again or Exit
  QString text;
  QWidget* parent = nullptr;
  QTimer dismiss;
  dismiss.callOnTimeout([&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      text = box->text();
      parent = box->parentWidget();
      box->accept();
    }
  });
  dismiss.start(10);
  for (int pass = 0; pass < 1000 && text.isEmpty(); ++pass) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  platform::SetMessageBoxHook(recording);
  EXPECT_EQ(text, "File Open Error");
  EXPECT_EQ(parent, &window);
  EXPECT_TRUE(window.isVisible());
}

// The names a file dialog with `filter` lists in `directory`, as the user sees them.
[[maybe_unused]] std::set<std::string> Listed(const QString& filter, const std::string& directory) {
  QFileDialog dialog(nullptr, QString(), QString::fromStdString(directory), filter);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  auto* model = dialog.findChild<QFileSystemModel*>();
  const QString path = QString::fromStdString(directory);
  QEventLoop loop;
  QObject::connect(model, &QFileSystemModel::directoryLoaded, &loop, [&](const QString& loaded) {
    if (loaded == path) loop.quit();
  });
  QTimer::singleShot(10000, &loop, &QEventLoop::quit);
  loop.exec();
  const QModelIndex root = model->index(path);
  std::set<std::string> names;
  for (int row = 0; row < model->rowCount(root); ++row) {
    names.insert(model->index(row, 0, root).data().toString().toStdString());
  }
  return names;
}

// Plug-ins are shared objects here, and many images have no extension; a ROM copy takes both
// of its kinds of image.
TEST(FileDialogs, ListPlugInsAsThePlatformNamesThemEveryImageAndBothRomKinds) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the dialog lists the directory on a thread of Qt's own, whose hand-over the "
                  "thread sanitizer cannot see (Qt is not built with it); the other builds run it";
#else
  testing_support::TempDir dir;
  for (const char* name : {"model.so", "model.dll", "boot", "system.img", "cp.fls", "ap.bin"}) {
    std::ofstream(dir / name) << "x";
  }
  const std::string where = dir.Path().string();
  EXPECT_EQ(Listed(gui::PluginFilter(), where), std::set<std::string>{"model.so"});
  EXPECT_EQ(Listed(gui::ImageFilter(), where).size(), 6u);
  EXPECT_EQ(Listed(gui::RomImageFilter(), where), (std::set<std::string>{"ap.bin", "cp.fls"}));
#endif
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // A real window without a display, also when the build lists the tests.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  gui::MuteSounds();
  return RUN_ALL_TESTS();
}
