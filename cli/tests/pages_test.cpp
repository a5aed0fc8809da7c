// The host's pages and sheet as logic: settings at start, the plug-in's labels, the port scan's
// debounce, Start's erase question and image read, the ROM copy modes and "Initialization".

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "cli_harness.h"
#include "host/sheet.h"
#include "support/message_boxes.h"
#include "support/temp_dir.h"
#include "support/wait.h"

namespace {

struct RecordedView : NormalPageView, RomCopyPageView {
  void ShowFiles(const std::vector<FileTable::Row>& r, const std::string& h) override {
    rows = r;
    header = h;
  }
  void ShowHeader(const std::string& h) override { header = h; }
  void ShowPorts(const PortScan::Result& scan) override { ports = scan.comTexts; }
  void EnableStart(bool enabled) override { start = enabled; }
  void ShowLabels(const std::string& m, const std::string& v, const std::string& d) override {
    labels = {m, v, d};
  }
  void ShowErase(bool ap, bool userData, bool cp) override { erase = {ap, userData, cp}; }
  void ShowMode(int m) override { mode = m; }
  bool AskYesNo(const std::string& text) override {
    questions.push_back(text);
    return answer;
  }
  void PlayStartSound() override { ++sounds; }
  void SetScanTimer(bool running) override { timer = running; }
  void RunDownloadWindow(const RunRequest& r) override {
    windows.push_back(r);
    if (onWindow) onWindow();
  }
  std::string CpField() const override { return cpField; }
  std::string ApField() const override { return apField; }
  void ShowPaths(const std::string& cp, const std::string& ap) override {
    cpField = cp;
    apField = ap;
  }
  void ShowEraseCp(bool) override {}

  std::vector<FileTable::Row> rows;
  std::string header;
  std::vector<std::string> ports, labels, questions;
  std::vector<bool> erase;
  std::optional<bool> start;
  int mode = -1, sounds = 0;
  bool timer = false, answer = true;
  std::vector<RunRequest> windows;
  std::function<void()> onWindow;
  std::string cpField, apField;
};

class Pages : public testing::Test {
 protected:
  SerialPortEntry Phone() const {
    SerialPortEntry e;
    e.portName = "ttyACM0";
    e.portNumber = 7;
    e.description = "Zelco Mobile USB Modem";
    return e;
  }
  PortScan::Discover Discovery() {
    return [this] { return phonePresent ? std::vector{Phone()} : std::vector<SerialPortEntry>{}; };
  }
  NormalPage::Places Places() const {
    return {cli_testing::ProgramDirectory(), dir.Path().string()};
  }
  void Settings(const std::string& text) const { std::ofstream(dir / "Tarvex.ini") << text; }
  std::string File(const std::string& name, size_t bytes = 4) const {
    std::ofstream(dir / name) << std::string(bytes, 'x');
    return dir / name;
  }

  testing_support::TempDir dir;
  testing_support::MessageBoxes boxes;
  RecordedView view;
  bool phonePresent = false;
};

TEST_F(Pages, StartUpRestoresTheSettingsButNeverTheModemErase) {
  const std::string cfg = File("tq.cfg"), psi = File("modem_psi.fls");
  // Every known bit, and one no plug-in knows (a hand-edited file).
  Settings("[Erase Option]\nValue=263\n[File Lists]\n1=" + psi + "\n2=" + cfg +
           "\n3=" + (dir / "gone.img") + "\n");
  NormalPage page(view, Places(), Discovery());
  page.PageStart();
  EXPECT_EQ(page.EraseOption(), kEraseAp | kEraseUserData);
  EXPECT_EQ(view.erase, (std::vector<bool>{true, true, true}));  // the CP mark stays
  EXPECT_EQ(view.labels, (std::vector<std::string>{"TQ4410", "Ver: 1.2, 1.3", "2011-02-26"}));
  ASSERT_EQ(view.rows.size(), 2u);    // the file that is gone is dropped without a word
  EXPECT_EQ(view.rows[0].path, psi);  // the plug-in's order: PSI before the configuration
  EXPECT_EQ(view.header, "Files to Download(2/2)");
  EXPECT_EQ(view.start, false);
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(Pages, WithoutAPluginEveryListedFileIsRefusedWithAMessage) {
  Settings("[dll path save]\nValue=/no/model.so\n[File Lists]\n1=" + File("a.img") +
           "\n2=" + File("b.img") + "\n");
  NormalPage page(view, {dir.Path().string(), dir.Path().string()}, Discovery());
  page.PageStart();
  EXPECT_EQ(page.DllPath(), dir / "model.so");  // a stale path falls back beside the program
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"We can't find model.dll file",
                                                     "At first, You should input dll file",
                                                     "At first, You should input dll file"}));
}

TEST_F(Pages, StartAsksAboutTheEraseReadsTheImagesAndOpensTheWindow) {
  NormalPage page(view, Places(), Discovery());
  page.PageStart();
  page.AddFiles({File("tq.cfg", 3000)});
  page.EraseBoxClicked(NormalPage::EraseBox::kEntireAp, true);
  page.EraseBoxClicked(NormalPage::EraseBox::kEntireCp, true);
  view.answer = false;
  bool imagesRead = false;
  view.onWindow = [&] {
    EXPECT_FALSE(view.timer);  // no scan while the window runs
    imagesRead = testing_support::WaitUntil([&] { return page.Store().ReadingComplete() == 1; });
  };
  page.Start();
  EXPECT_EQ(view.questions, std::vector<std::string>{
                                "[Erase entire AP] [Erase entire CP] Selected  \n\nDo you want "
                                "delete ?"});
  EXPECT_EQ(page.EraseOption(), 0u);  // No clears the checked boxes' bits; the run goes on
  ASSERT_EQ(view.windows.size(), 1u);
  EXPECT_FALSE(view.windows[0].multi);
  EXPECT_EQ(view.windows[0].erase, 0u);
  EXPECT_TRUE(imagesRead);
  EXPECT_EQ(view.sounds, 1);
  EXPECT_TRUE(view.timer);
}

TEST_F(Pages, AnUntickedFileIsNeverWrittenWhateverItsOrder) {
  NormalPage page(view, Places(), Discovery());
  page.PageStart();
  page.AddFiles({File("tq.cfg"), File("notes.dat")});  // the plug-in knows no order for .dat
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(view.header, "Files to Download(1/1)");
  page.CheckClicked(1);  // the unknown one, after every known file
  page.Start();
  ASSERT_EQ(view.windows.size(), 1u);
  const RunRequest& request = view.windows[0];
  EXPECT_EQ(request.paths, std::vector<std::string>{dir / "tq.cfg"});
  // As the window does: the images are taken only once the store says they are read. The
  // request keeps them, whatever the page reads or frees next.
  ASSERT_TRUE(testing_support::WaitUntil([&] { return request.images->ReadingComplete() == 1; }));
  page.RemoveAll();
  ASSERT_NE(request.Images()[0], nullptr);
  EXPECT_EQ(request.Images()[0][4], 'x');
}

// A run without a file would only reset the phone and report success.
TEST_F(Pages, StartWithNothingTickedIsRefusedBeforeAnythingElse) {
  NormalPage page(view, Places(), Discovery());
  page.PageStart();
  page.AddFiles({File("tq.cfg")});
  page.CheckClicked(0);
  for (int mode : {0, 1}) {
    page.SelectMode(mode);
    page.Start();
  }
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>(2, NormalPage::kNothingTicked));
  EXPECT_TRUE(view.windows.empty());
  EXPECT_EQ(view.sounds, 0);
  EXPECT_TRUE(view.questions.empty());
}

// A plug-in is bound only when it was built for this program's plug-in interface.
TEST(PluginBinding, ALibraryOfAnotherInterfaceVersionOrNoneIsRefusedWithItsPath) {
  std::string error;
  const std::string other = cli_testing::ProgramDirectory() + "/other_abi_model.so";
  EXPECT_EQ(ModelPlugin::Load(other, error), nullptr);
  EXPECT_EQ(error, other +
                       " was built for plug-in interface version 99; this program takes "
                       "version " +
                       std::to_string(kPluginAbiVersion));
  const std::string unrelated = cli_testing::ProgramDirectory() + "/libCorvane.so";
  EXPECT_EQ(ModelPlugin::Load(unrelated, error), nullptr);
  EXPECT_EQ(error, unrelated +
                       " is not a model plug-in of this program: it has no "
                       "PluginAbiVersion");
  const auto model = ModelPlugin::Load(cli_testing::ProgramDirectory() + "/model.so", error);
  ASSERT_NE(model, nullptr);
  EXPECT_TRUE(model->Exports().reportsSteps);
  EXPECT_EQ(model->Lacking({Export::kDoDownload, Export::kA111}), "");
}

TEST_F(Pages, APlugInWithoutFileTypingNamesWhatItLacks) {
  NormalPage page(view, Places(), Discovery());
  page.PageStart();
  const std::string partial = cli_testing::ProgramDirectory() + "/partial_model.so";
  page.ChoosePlugin(partial);  // loads, types nothing
  page.AddFiles({File("tq.cfg")});
  EXPECT_EQ(boxes.Texts(),
            std::vector<std::string>{"The plug-in " + partial +
                                     " lacks GetFileTypeStr, JudgeFile, FileDLOrder: " +
                                     (dir / "tq.cfg") + " not added"});
  EXPECT_TRUE(view.rows.empty());
}

TEST(PortScanTest, StartWaitsForFiveScansInARowAndLeavesAtOnce) {
  std::vector<bool> present = {true, true, true, true, false, true, true, true, true, true, false};
  size_t pass = 0;
  SerialPortEntry phone;
  phone.portName = "ttyACM0";
  phone.portNumber = 3;
  PortScan scan(
      [&] { return present[pass++] ? std::vector{phone} : std::vector<SerialPortEntry>{}; });
  std::vector<std::optional<bool>> start;
  for (size_t i = 0; i < present.size(); ++i) start.push_back(scan.Scan().start);
  const std::optional<bool> none;
  EXPECT_EQ(start, (std::vector<std::optional<bool>>{none, none, none, none, false, none, none,
                                                     none, none, true, false}));
  EXPECT_EQ(scan.ComPort(), 3);
  EXPECT_EQ(ComText(phone), "COM3 (ttyACM0)");
}

TEST_F(Pages, RomCopyMultiModeIsReadyAtOnceAndNormalModeWaitsForThePort) {
  RomCopyPage page(view, Discovery(), {});
  page.PageStart();
  EXPECT_EQ(view.start, false);
  view.cpField = "/typed/cp.fls";
  page.ModeClicked(1);
  EXPECT_EQ(view.start, true);
  EXPECT_FALSE(view.timer);
  EXPECT_EQ(page.CpPath(), "/typed/cp.fls");  // a mode click reads the fields
  page.ModeClicked(0);
  EXPECT_EQ(view.start, false);
  EXPECT_TRUE(view.timer);
  view.apField = "/typed/ap.bin";  // typed, then Start at once
  page.Start();
  EXPECT_EQ(page.ApPath(), "/typed/ap.bin");
  EXPECT_EQ(g_nCurPage, 2);
  ASSERT_EQ(view.windows.size(), 1u);
  EXPECT_FALSE(view.windows[0].multi);
  EXPECT_EQ(view.windows[0].Files(), (std::vector<std::string>{"/typed/cp.fls", "/typed/ap.bin"}));
}

TEST_F(Pages, InitializationResetsUpToTheActiveTab) {
  RecordedView romView;
  NormalPage normal(view, Places(), Discovery());
  RomCopyPage romCopy(romView, Discovery(), {});
  Sheet sheet(normal, romCopy);
  normal.PageStart();
  sheet.Activate(0);
  EXPECT_EQ(g_nCurPage, 1);
  normal.AddFiles({File("tq.cfg")});
  sheet.Activate(1);
  EXPECT_EQ(g_nCurPage, 2);
  romCopy.ChooseCp(dir / "cp.fls");

  sheet.Activate(0);
  sheet.Initialization();  // on the Normal D/L tab: its list goes, the ROM copy paths stay
  EXPECT_TRUE(view.rows.empty());
  EXPECT_EQ(romCopy.CpPath(), dir / "cp.fls");

  normal.AddFiles({File("tq.cfg")});
  sheet.Activate(1);
  sheet.Initialization();  // on the ROM copy tab: both pages
  EXPECT_TRUE(view.rows.empty());
  EXPECT_EQ(romCopy.CpPath(), "");
}

}  // namespace
