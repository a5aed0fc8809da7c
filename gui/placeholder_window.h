#pragma once

#include "host/current_page.h"

class QWidget;

namespace gui {

// Stands where the download windows will open: says which one Start asked for.
void RunPlaceholderWindow(DownloadWindow window, QWidget* parent);

}  // namespace gui
