#include "gui/port_view.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <cstdio>

namespace gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString UsbId(const SerialPortEntry& e) {
  if (!e.isUsb) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%04x:%04x if %d", e.usbVendor, e.usbProduct, e.usbInterface);
  return text;
}

QString Access(const diagnosis::PortFinding& f) {
  if (f.canOpen) return "yes";
  if (!f.accessGroup.empty()) return Q("no (group " + f.accessGroup + ")");
  return "no";
}

QString ModemManager(const diagnosis::PortFinding& f) {
  if (!f.modemManagerIgnores) return "-";
  return *f.modemManagerIgnores ? "leaves it alone" : "may probe it";
}

QString Holders(const diagnosis::PortFinding& f) {
  QStringList names;
  for (const diagnosis::Holder& h : f.holders) {
    names << Q(h.name) + " (pid " + QString::number(h.pid) + ")";
  }
  return names.isEmpty() ? "-" : names.join(", ");
}

QString TableLineText(const diagnosis::PortFinding& f) {
  const diagnosis::TableLine& t = *f.tableLine;
  return Q(f.entry.portName + ": if it is a phone, add this line to " + t.file + ":\n    " +
           t.line + "\n    with: " + t.command + "\n");
}

QString ProblemText(const diagnosis::Report& r) {
  QString text;
  const auto add = [&text](const std::string& where, const diagnosis::Problem& p) {
    text += Q(where + p.text) + "\n";
    if (!p.fix.empty()) text += Q("    fix: " + p.fix) + "\n";
  };
  for (const diagnosis::Problem& p : r.problems) add("", p);
  for (const diagnosis::PortFinding& f : r.ports) {
    for (const diagnosis::Problem& p : f.problems) add(f.entry.portName + ": ", p);
  }
  if (text.isEmpty()) text = "No problems found.\n";
  for (const diagnosis::PortFinding& f : r.ports) {
    if (f.tableLine) text += "\n" + TableLineText(f);
  }
  text += r.modemManagerRunning ? "\nModemManager is running." : "\nNo modem manager is running.";
  return text;
}

}  // namespace

PortView::PortView(diagnosis::System system, QWidget* parent)
    : QDialog(parent), system_(std::move(system)) {
  setWindowTitle("Serial ports");
  ports_ = new QTreeWidget(this);
  ports_->setObjectName("ports");
  ports_->setRootIsDecorated(false);
  ports_->setHeaderLabels({"Port", "Device", "Description", "USB id", "Phone port",
                           "You may open it", "Held open by", "Modem manager"});
  problems_ = new QPlainTextEdit(this);
  problems_->setObjectName("problems");
  problems_->setReadOnly(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  auto* refresh = buttons->addButton("&Refresh", QDialogButtonBox::ActionRole);
  connect(refresh, &QPushButton::clicked, this, &PortView::Refresh);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ports_, 2);
  layout->addWidget(new QLabel("Problems and the commands that fix them:", this));
  layout->addWidget(problems_, 1);
  layout->addWidget(buttons);
  resize(900, 460);
  Refresh();
}

void PortView::Refresh() {
  const diagnosis::Report report = diagnosis::Diagnose(system_);
  ports_->clear();
  for (const diagnosis::PortFinding& f : report.ports) {
    const SerialPortEntry& e = f.entry;
    new QTreeWidgetItem(
        ports_,
        {"COM" + QString::number(e.portNumber), Q(e.devicePath), Q(e.description), UsbId(e),
         f.taken ? QString("yes") : Q("no: " + f.reason), Access(f), Holders(f), ModemManager(f)});
  }
  if (report.ports.empty()) new QTreeWidgetItem(ports_, {"", "", "No USB serial port found"});
  for (int c = 0; c < ports_->columnCount(); ++c) ports_->resizeColumnToContents(c);
  problems_->setPlainText(ProblemText(report));
}

}  // namespace gui
