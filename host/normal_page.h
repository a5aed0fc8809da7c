#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/current_page.h"
#include "host/file_table.h"
#include "host/image_store.h"
#include "host/ini_file.h"
#include "host/model_plugin.h"
#include "host/port_scan.h"
#include "host/run_request.h"

// What the Normal D/L page needs from its window. The Qt page implements it; tests record it.
// Every call comes on the GUI thread.
class NormalPageView {
 public:
  virtual ~NormalPageView() = default;
  virtual void ShowFiles(const std::vector<FileTable::Row>& rows, const std::string& header) = 0;
  virtual void ShowHeader(const std::string& header) = 0;
  virtual void ShowPorts(const PortScan::Result& scan) = 0;
  virtual void EnableStart(bool enabled) = 0;
  virtual void ShowLabels(const std::string& model, const std::string& version,
                          const std::string& date) = 0;
  // The three erase boxes' check marks; "Erase entire CP" is always disabled.
  virtual void ShowErase(bool entireAp, bool userData, bool entireCp) = 0;
  virtual void ShowMode(int mode) = 0;
  // Yes/No with a warning icon; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  virtual void PlayStartSound() = 0;
  virtual void SetScanTimer(bool running) = 0;
  // Hides the sheet, runs the request's window (single or multi-port) modally and shows the
  // sheet again.
  virtual void RunDownloadWindow(const RunRequest& request) = 0;
};

// The Normal D/L page's logic: the plug-in, the file table, the erase options, the port scan,
// the settings, and Start. Messages go through the platform's message-box hook.
class NormalPage {
 public:
  static constexpr const char* kNothingTicked = "No file is ticked: tick the files to download";
  enum class EraseBox { kEntireAp, kUserData, kEntireCp };

  struct Places {
    std::string programDirectory;    // where model.so is looked for by default
    std::string settingsDirectory;   // where "Tarvex.ini" is written
    std::string readDirectory = {};  // where it is read at start; "" for settingsDirectory
  };

  NormalPage(NormalPageView& view, Places places, PortScan::Discover discover);
  // Waits for the last image read and writes the settings unless SaveSettings did; a failure is
  // said in a message box.
  ~NormalPage();
  NormalPage(const NormalPage&) = delete;
  NormalPage& operator=(const NormalPage&) = delete;

  // Reads the settings, loads the plug-in and lists the kept files; those missing stay in the
  // list, unticked, and are named in one message.
  void PageStart();
  // Writes the settings now: "" on success, else the line that says why they were not saved.
  std::string SaveSettings();
  // "...": `chosen` is the picked file, nullopt after Cancel; the plug-in is loaded either way.
  void ChoosePlugin(const std::optional<std::string>& chosen);
  void AddFiles(const std::vector<std::string>& paths);
  void DropFiles(const std::vector<std::string>& paths);
  // The Delete key with the list's selection mark (-1 none); true when it removed a row.
  bool DeleteKey(int selectionMark);
  void RemoveAll();
  void CheckClicked(int row);
  void EraseBoxClicked(EraseBox box, bool checked);
  void SelectMode(int mode);
  void ScanTimer();
  // Refused with kNothingTicked, before anything else, when no file is ticked.
  void Start();
  void Activate();
  // The sheet's "Initialization"; true: keep the sheet open (this tab is active).
  bool Reset();

  // The plug-in of the last successful load; null after a failed one.
  const ModelPlugin* Plugin() const { return current_; }
  const FileTable& Files() const { return table_; }
  // The read of the last Start (or an empty store before it).
  CImageStore& Store() { return *store_; }
  // What Start hands the window: the ticked files, the read of their images, the plug-in, the
  // port and the erase options as they stand.
  RunRequest Request() const;
  uint32_t EraseOption() const { return eraseOption_; }
  uint8_t ComPort() const { return scan_.ComPort(); }
  int Mode() const { return mode_; }
  const std::string& DllPath() const { return dllPath_; }

 private:
  bool AddFile(const std::string& path);
  void AddListed(const std::vector<std::string>& paths);
  void RefreshMissing();
  bool LacksTyping(const std::string& what);
  void LoadModelPlugin();
  void Rebuild();
  void FillControls();
  bool AskAboutErase();
  void ReadCheckedImages();
  void JoinReader();

  NormalPageView& view_;
  Places places_;
  PortScan scan_;
  std::string dllPath_;
  // Every plug-in loaded stays loaded until the page ends: functions bound from an earlier one
  // may still be in use.
  std::vector<std::unique_ptr<ModelPlugin>> plugins_;
  const ModelPlugin* current_ = nullptr;
  std::string model_, version_, date_;
  uint32_t eraseOption_ = 0;
  bool boxAp_ = false, boxUserData_ = false, boxCp_ = false;
  int mode_ = 0;  // 0 "Normal D/L Mode", 1 "Multi D/L Mode"
  bool activated_ = false;
  FileTable table_;
  // Each read gets a store of its own, shared with the runs that use it.
  std::shared_ptr<CImageStore> store_ = std::make_shared<CImageStore>();
  CIniFile ini_;
  bool saved_ = false;
  // The listed files while no plug-in could take them: saved back as they were read.
  std::vector<std::string> held_;
  std::thread reader_;
};
