#include "gui/ui_font.h"

#include <QApplication>
#include <QFontDatabase>

namespace gui {

QFont LabelFont() {
  QFont font = QFontDatabase::families().contains("Letha") ? QFont("Letha") : QApplication::font();
  font.setPixelSize(14);
  font.setWeight(QFont::DemiBold);
  return font;
}

}  // namespace gui
