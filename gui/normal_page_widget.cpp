#include "gui/normal_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/dialogs.h"
#include "gui/icon_button.h"
#include "gui/port_lists.h"
#include "gui/sounds.h"
#include "gui/ui_font.h"

namespace gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QComboBox* Labelled(QBoxLayout* row, const QString& title, QWidget* parent) {
  auto* group = new QGroupBox(title, parent);
  auto* combo = new QComboBox(group);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(combo);
  row->addWidget(group, 1);
  return combo;
}

}  // namespace

NormalPageWidget::NormalPageWidget(NormalPage::Places places, PortScan::Discover discover,
                                   OpenWindow openWindow, QWidget* parent)
    : QWidget(parent), openWindow_(std::move(openWindow)) {
  Build();
  scanTimer_.setInterval(PortScan::kPeriodMs);
  connect(&scanTimer_, &QTimer::timeout, this, [this] { page_->ScanTimer(); });
  page_ = std::make_unique<NormalPage>(*this, std::move(places), std::move(discover));
  page_->PageStart();
}

NormalPageWidget::~NormalPageWidget() { page_.reset(); }

void NormalPageWidget::Build() {
  setAcceptDrops(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildPluginRow());
  list_ = new QTreeWidget(this);
  list_->setObjectName("files");
  list_->setHeaderLabels({"No", "Files to Download(0/0)", "Type", "Date", "Size"});
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setColumnWidth(0, 30);
  list_->setColumnWidth(1, 300);
  list_->setColumnWidth(2, 80);
  // Wide enough for "YYYY-MM-DD hh:mm" in this font; long paths lose their middle, not the name.
  list_->setColumnWidth(
      3, std::max(100, list_->fontMetrics().horizontalAdvance("0000-00-00 00:00") + 12));
  list_->setTextElideMode(Qt::ElideMiddle);
  list_->header()->setStretchLastSection(false);
  list_->installEventFilter(this);
  connect(list_, &QTreeWidget::itemChanged, this, &NormalPageWidget::CheckChanged);
  layout->addWidget(list_, 1);
  layout->addWidget(BuildFileButtons());
  layout->addWidget(BuildEraseBoxes());
  layout->addWidget(BuildPortRow());
  layout->addWidget(BuildFooter());
}

QWidget* NormalPageWidget::BuildPluginRow() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  model_ = new QLabel("Selected model", row);
  model_->setObjectName("model");
  model_->setFont(LabelFont());
  auto* choose = new QPushButton("...", row);
  choose->setObjectName("choosePlugin");
  choose->setFixedWidth(36);
  connect(choose, &QPushButton::clicked, this, [this] {
    // Opens where the current plug-in is, usually beside the program.
    const QString where = QFileInfo(QString::fromStdString(page_->DllPath())).absolutePath();
    const QString file = QFileDialog::getOpenFileName(this, QString(), where, PluginFilter(),
                                                      nullptr, QFileDialog::ReadOnly);
    page_->ChoosePlugin(file.isEmpty() ? std::nullopt
                                       : std::optional<std::string>(file.toStdString()));
  });
  layout->addWidget(model_, 1);
  layout->addWidget(choose);
  return row;
}

QWidget* NormalPageWidget::BuildFileButtons() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* add = new QPushButton("&Add", row);
  add->setObjectName("add");
  connect(add, &QPushButton::clicked, this, [this] {
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QString(), QString(), ImageFilter(), nullptr, QFileDialog::ReadOnly);
    std::vector<std::string> paths;
    for (const QString& f : files) paths.push_back(f.toStdString());
    page_->AddFiles(paths);
  });
  auto* removeAll = new QPushButton("&Remove All", row);
  removeAll->setObjectName("removeAll");
  connect(removeAll, &QPushButton::clicked, this, [this] { page_->RemoveAll(); });
  auto* devices = new IconButton(":/icons/ports.svg", "Ports", row);
  devices->setObjectName("deviceManager");
  connect(devices, &QPushButton::clicked, this, &NormalPageWidget::DeviceManagerRequested);
  auto* records = new IconButton(":/icons/records.svg", "Records", row);
  records->setObjectName("records");
  connect(records, &QPushButton::clicked, this, &NormalPageWidget::RecordsRequested);
  layout->addWidget(add);
  layout->addWidget(removeAll);
  layout->addStretch(1);
  layout->addWidget(records);
  layout->addWidget(devices);
  return row;
}

QWidget* NormalPageWidget::BuildEraseBoxes() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  eraseAp_ = new QCheckBox("Erase entire AP", row);
  eraseUserData_ = new QCheckBox("Erase user data(AP)", row);
  eraseCp_ = new QCheckBox("Erase entire CP", row);
  eraseCp_->setEnabled(false);
  const std::pair<QCheckBox*, NormalPage::EraseBox> boxes[] = {
      {eraseAp_, NormalPage::EraseBox::kEntireAp},
      {eraseUserData_, NormalPage::EraseBox::kUserData},
      {eraseCp_, NormalPage::EraseBox::kEntireCp}};
  for (const auto& [box, which] : boxes) {
    connect(box, &QCheckBox::clicked, this,
            [this, which = which](bool checked) { page_->EraseBoxClicked(which, checked); });
    layout->addWidget(box);
  }
  layout->addStretch(1);
  return row;
}

QWidget* NormalPageWidget::BuildPortRow() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  ports_ = Labelled(layout, "COM Port", row);
  ports_->setObjectName("comPort");
  drivers_ = Labelled(layout, "Communication Driver", row);
  drivers_->setObjectName("driver");
  layout->setStretch(1, 2);
  mode_ = Labelled(layout, "Select D/L mode", row);
  mode_->setObjectName("mode");
  mode_->addItems({"Normal D/L Mode", "Multi D/L Mode"});
  connect(mode_, &QComboBox::activated, this, [this](int index) { page_->SelectMode(index); });
  return row;
}

QWidget* NormalPageWidget::BuildFooter() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* picture = new QLabel(row);
  picture->setPixmap(QIcon(":/icons/phone.svg").pixmap(QSize(48, 48)));
  auto* labels = new QVBoxLayout();
  version_ = new QLabel("Version", row);
  version_->setObjectName("version");
  date_ = new QLabel("Date", row);
  date_->setObjectName("date");
  for (QLabel* label : {version_, date_}) {
    label->setFont(LabelFont());
    label->setStyleSheet("color: black");
    labels->addWidget(label);
  }
  start_ = new IconButton(":/icons/start.svg", "&Start", row);
  start_->setObjectName("start");
  start_->setIconSize(QSize(40, 40));
  start_->setMinimumSize(QSize(96, 56));
  connect(start_, &QPushButton::clicked, this, [this] { page_->Start(); });
  layout->addWidget(picture);
  layout->addLayout(labels, 1);
  layout->addWidget(start_);
  return row;
}

void NormalPageWidget::ShowFiles(const std::vector<FileTable::Row>& rows,
                                 const std::string& header) {
  filling_ = true;
  list_->clear();
  for (const FileTable::Row& r : rows) {
    auto* item = new QTreeWidgetItem(
        list_, {QString::number(r.number), Q(r.path), Q(r.type), Q(r.date), Q(r.size)});
    item->setCheckState(0, r.checked ? Qt::Checked : Qt::Unchecked);
    if (!r.missing) {
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      continue;
    }
    // Kept for when its file is back: greyed and not tickable, but still selectable, so that
    // the Delete key can take it off the list.
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    const QBrush grey = list_->palette().brush(QPalette::Disabled, QPalette::Text);
    for (int column = 0; column < item->columnCount(); ++column) {
      item->setForeground(column, grey);
      item->setToolTip(column, "Not found");
    }
  }
  filling_ = false;
  ShowHeader(header);
}

void NormalPageWidget::ShowHeader(const std::string& header) {
  list_->headerItem()->setText(1, Q(header));
}

void NormalPageWidget::CheckChanged(QTreeWidgetItem* item, int column) {
  if (filling_ || column != 0) return;
  page_->CheckClicked(list_->indexOfTopLevelItem(item));
}

void NormalPageWidget::ShowPorts(const PortScan::Result& scan) {
  FillPortLists(ports_, drivers_, scan);
}

void NormalPageWidget::EnableStart(bool enabled) { start_->setEnabled(enabled); }

void NormalPageWidget::ShowLabels(const std::string& model, const std::string& version,
                                  const std::string& date) {
  model_->setText(Q(model));
  version_->setText(Q(version));
  date_->setText(Q(date));
}

void NormalPageWidget::ShowErase(bool entireAp, bool userData, bool entireCp) {
  eraseAp_->setChecked(entireAp);
  eraseUserData_->setChecked(userData);
  eraseCp_->setChecked(entireCp);
}

void NormalPageWidget::ShowMode(int mode) { mode_->setCurrentIndex(mode); }

bool NormalPageWidget::AskYesNo(const std::string& text) { return gui::AskYesNo(this, Q(text)); }

void NormalPageWidget::PlayStartSound() { PlaySound(Sound::kStart); }

void NormalPageWidget::SetScanTimer(bool running) {
  if (running) {
    scanTimer_.start();
  } else {
    scanTimer_.stop();
  }
}

void NormalPageWidget::RunDownloadWindow(const RunRequest& request) { openWindow_(request); }

void NormalPageWidget::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void NormalPageWidget::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  page_->DropFiles(paths);
  event->acceptProposedAction();
}

// The Delete key removes the selected row; without a row it goes on as usual.
bool NormalPageWidget::eventFilter(QObject* watched, QEvent* event) {
  if (watched == list_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    const QModelIndex current = list_->currentIndex();
    return page_->DeleteKey(current.isValid() ? current.row() : -1);
  }
  return QWidget::eventFilter(watched, event);
}

// The size column takes what the list leaves after the other four.
// The Delete key anywhere else on the page acts on the list's selection too.
void NormalPageWidget::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && eventFilter(list_, event)) return;
  QWidget::keyPressEvent(event);
}

void NormalPageWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  int others = 0;
  for (int c = 0; c < 4; ++c) others += list_->columnWidth(c);
  list_->setColumnWidth(4, std::max(60, list_->viewport()->width() - others));
}

}  // namespace gui
