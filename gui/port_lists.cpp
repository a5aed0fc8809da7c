#include "gui/port_lists.h"

#include <QComboBox>

namespace gui {

void FillPortLists(QComboBox* ports, QComboBox* drivers, const PortScan::Result& scan) {
  ports->clear();
  drivers->clear();
  for (const std::string& text : scan.comTexts) ports->addItem(QString::fromStdString(text));
  for (const std::string& text : scan.descriptions) drivers->addItem(QString::fromStdString(text));
  const int selected = scan.selectFirst ? 0 : -1;  // no selection until Start is offered
  ports->setCurrentIndex(selected);
  drivers->setCurrentIndex(selected);
}

}  // namespace gui
