#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/records/reader_thread.h"
#include "host/records/records_settings.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;
class QCheckBox;

namespace gui {

// "Records": the newest runs (of the line's server, or of this station), filtered by serial or
// PID and verdict; one run's files, digests and status lines below; "Export CSV" writes what the
// filter shows, in the columns of `tarvex-cli records --csv`. Every read runs on a thread of its
// own (records::ReaderThread), the answer coming back to this window's thread; the newest
// request of a kind is the one shown, and a line below says what is still being read.
class RecordsWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr size_t kNewest = 500;
  static constexpr const char* kReading = "Reading records…";

  RecordsWindow(const records::Settings& settings, QWidget* parent = nullptr);

  // Asks for the filter's newest records; the table fills when they come.
  void Refresh();
  // Asks for the filter's records to be written to `path`; the line below says how it went, and
  // a message box why it failed.
  void ExportCsv(const std::string& path);

 private:
  records::Query Filter(size_t limit) const;
  void ShowDetail(int row);
  // On this window's thread, called by name from the reading thread's wake-up.
  Q_INVOKABLE void TakeAnswers();
  void Answered(const records::ReadAnswer& answer);
  void ShowFound(std::vector<records::Record> found);
  void ShowExported(const records::ReadAnswer& answer);

  std::vector<records::Record> shown_;
  uint64_t findTicket_ = 0;  // the newest request of its kind: an older one's answer is stale
  uint64_t getTicket_ = 0;
  QLabel* origin_ = nullptr;
  QLabel* note_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QComboBox* verdict_ = nullptr;
  QCheckBox* simulated_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPlainTextEdit* detail_ = nullptr;
  // Last: its answers reach the widgets above; once it has gone, none is on its way.
  std::unique_ptr<records::ReaderThread> reader_;
};

}  // namespace gui
