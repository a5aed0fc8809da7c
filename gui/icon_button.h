#pragma once

#include <QPushButton>

namespace gui {

// A push button that shows only an icon, centred: raised when up, sunk and moved when pressed,
// greyed when disabled, with a focus mark (the style draws all four). The caption's mnemonic
// still works and the caption is the tooltip and the name a screen reader gives.
class IconButton : public QPushButton {
  Q_OBJECT

 public:
  IconButton(const QString& iconPath, const QString& caption, QWidget* parent = nullptr);
};

}  // namespace gui
