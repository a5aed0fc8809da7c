#include "gui/icon_button.h"

#include <QIcon>
#include <QKeySequence>

namespace gui {

IconButton::IconButton(const QString& iconPath, const QString& caption, QWidget* parent)
    : QPushButton(parent) {
  setIcon(QIcon(iconPath));
  setIconSize(QSize(32, 32));
  setFlat(false);
  QString plain = caption;
  setToolTip(plain.remove('&'));
  setAccessibleName(plain);
  setShortcut(QKeySequence::mnemonic(caption));
  setMinimumSize(QSize(48, 44));
}

}  // namespace gui
