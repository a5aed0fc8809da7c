#pragma once

#include "host/port_scan.h"

class QComboBox;

namespace gui {

// A scan's ports into a page's "COM Port" and "Communication Driver" lists.
void FillPortLists(QComboBox* ports, QComboBox* drivers, const PortScan::Result& scan);

}  // namespace gui
