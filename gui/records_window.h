#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "host/records/reader.h"
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
// filter shows, in the columns of `tarvex-cli records --csv`.
class RecordsWindow : public QDialog {
  Q_OBJECT

 public:
  static constexpr size_t kNewest = 500;

  RecordsWindow(const records::Settings& settings, QWidget* parent = nullptr);

  void Refresh();
  // Writes the filter's records to `path`; "" or why it could not.
  std::string ExportCsv(const std::string& path);

 private:
  records::Query Filter(size_t limit) const;
  void ShowDetail(int row);

  records::Reader reader_;
  std::vector<records::Record> shown_;
  QLabel* origin_ = nullptr;
  QLineEdit* serial_ = nullptr;
  QComboBox* verdict_ = nullptr;
  QCheckBox* simulated_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPlainTextEdit* detail_ = nullptr;
};

}  // namespace gui
