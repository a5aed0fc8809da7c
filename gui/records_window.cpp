#include "gui/records_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "corvane/platform/message_box.h"
#include "host/records/record_csv.h"

namespace gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QColor VerdictColour(const std::string& verdict) {
  if (verdict == records::kPass) return {0x1e, 0x8c, 0x3a};
  if (verdict == records::kFail || verdict == records::kInterrupted) return {0xc6, 0x28, 0x28};
  return {0x9a, 0x6a, 0x00};  // cancelled, refused
}

QString DetailText(const records::Record& record) {
  QString text;
  for (const std::string& line : records::DetailLines(record)) text += Q(line) + "\n";
  return text;
}

}  // namespace

RecordsWindow::RecordsWindow(const records::Settings& settings, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Records");
  origin_ = new QLabel(this);
  origin_->setObjectName("origin");
  note_ = new QLabel(this);
  note_->setObjectName("note");
  serial_ = new QLineEdit(this);
  serial_->setObjectName("serial");
  serial_->setPlaceholderText("Serial or PID");
  verdict_ = new QComboBox(this);
  verdict_->setObjectName("verdict");
  verdict_->addItems(
      {"Any verdict", records::kPass, records::kFail, records::kCancelled, records::kRefused});
  simulated_ = new QCheckBox("Simulated phones", this);
  simulated_->setObjectName("simulated");
  auto* exportCsv = new QPushButton("Export CSV", this);
  exportCsv->setObjectName("exportCsv");
  auto* filters = new QHBoxLayout;
  filters->addWidget(serial_, 1);
  filters->addWidget(verdict_);
  filters->addWidget(simulated_);
  filters->addStretch(1);
  filters->addWidget(exportCsv);

  table_ = new QTableWidget(0, static_cast<int>(records::TableHeader().size()), this);
  table_->setObjectName("records");
  table_->setHorizontalHeaderLabels(
      {"Time", "Station", "Port", "Serial/PID", "Mode", "Verdict", "Duration"});
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int c = 0; c + 1 < table_->columnCount(); ++c) {
    table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
  }
  table_->horizontalHeader()->setStretchLastSection(true);
  detail_ = new QPlainTextEdit(this);
  detail_->setObjectName("detail");
  detail_->setReadOnly(true);
  detail_->setLineWrapMode(QPlainTextEdit::NoWrap);
  detail_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(table_);
  split->addWidget(detail_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(origin_);
  layout->addLayout(filters);
  layout->addWidget(split, 1);
  layout->addWidget(note_);
  resize(860, 560);

  connect(serial_, &QLineEdit::textChanged, this, [this] { Refresh(); });
  connect(verdict_, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(simulated_, &QCheckBox::toggled, this, [this] { Refresh(); });
  connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) { ShowDetail(row); });
  connect(exportCsv, &QPushButton::clicked, this, [this] {
    const QString path =
        QFileDialog::getSaveFileName(this, "Export CSV", "records.csv", "CSV files (*.csv)");
    if (!path.isEmpty()) ExportCsv(path.toStdString());
  });
  // The answers are taken on this window's thread; a window that has gone takes its posted
  // calls with it.
  reader_ = std::make_unique<records::ReaderThread>(
      settings, [this] { QMetaObject::invokeMethod(this, "TakeAnswers", Qt::QueuedConnection); });
  Refresh();
}

records::Query RecordsWindow::Filter(size_t limit) const {
  records::Query q;
  q.serial = serial_->text().trimmed().toStdString();
  q.verdict = verdict_->currentIndex() > 0 ? verdict_->currentText().toStdString() : "";
  q.simulated = simulated_->isChecked();
  q.limit = limit;
  return q;
}

void RecordsWindow::Refresh() {
  findTicket_ = reader_->Find(Filter(kNewest));
  note_->setText(kReading);
}

void RecordsWindow::TakeAnswers() {
  for (const records::ReadAnswer& a : reader_->Take()) Answered(a);
}

void RecordsWindow::Answered(const records::ReadAnswer& answer) {
  origin_->setText(Q(answer.origin));
  if (answer.kind == records::ReadAnswer::Kind::kFind && answer.ticket == findTicket_) {
    note_->clear();
    ShowFound(answer.found);
  } else if (answer.kind == records::ReadAnswer::Kind::kGet && answer.ticket == getTicket_ &&
             answer.record) {
    detail_->setPlainText(DetailText(*answer.record));
  } else if (answer.kind == records::ReadAnswer::Kind::kExport) {
    ShowExported(answer);
  }
}

void RecordsWindow::ShowFound(std::vector<records::Record> found) {
  shown_ = std::move(found);
  table_->setRowCount(static_cast<int>(shown_.size()));
  for (size_t row = 0; row < shown_.size(); ++row) {
    const std::vector<std::string> cells = records::TableCells(shown_[row]);
    for (size_t col = 0; col < cells.size(); ++col) {
      auto* item = new QTableWidgetItem(Q(cells[col]));
      if (col == 5) item->setForeground(VerdictColour(cells[col]));
      table_->setItem(static_cast<int>(row), static_cast<int>(col), item);
    }
  }
  if (!shown_.empty()) table_->selectRow(0);
  ShowDetail(shown_.empty() ? -1 : 0);
}

// The row's record as the table has it at once; with its files when they come.
void RecordsWindow::ShowDetail(int row) {
  getTicket_ = 0;
  if (row < 0 || static_cast<size_t>(row) >= shown_.size()) {
    return detail_->setPlainText(shown_.empty() ? "No records match." : "");
  }
  const records::Record& r = shown_[static_cast<size_t>(row)];
  detail_->setPlainText(DetailText(r));
  getTicket_ = reader_->Get(r.id);
}

void RecordsWindow::ExportCsv(const std::string& path) {
  reader_->Export(Filter(0), path);
  note_->setText(Q("Writing " + path + "…"));
}

void RecordsWindow::ShowExported(const records::ReadAnswer& answer) {
  if (!answer.problem.empty()) {
    note_->setText(Q(answer.problem));
    return platform::ShowMessageBox(answer.problem);
  }
  note_->setText(QString("%1 records written to %2").arg(answer.written).arg(Q(answer.path)));
}

}  // namespace gui
