#include "gui/placeholder_window.h"

#include <QMessageBox>

#include "host/resources.h"

namespace gui {

void RunPlaceholderWindow(DownloadWindow window, QWidget* parent) {
  const QString name =
      window == DownloadWindow::kSingle ? "the download window" : "the multi-port window";
  QMessageBox::information(parent, QString::fromUtf8(ProgramString(102)),
                           "Start would open " + name +
                               " here. This build has no download windows yet: use tarvex-cli "
                               "to run a download.");
}

}  // namespace gui
