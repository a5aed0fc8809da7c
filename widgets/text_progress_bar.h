#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace widgets {

// A progress bar that shows a text over itself: its own text, or the percentage ("42%") when it
// has none. The text is drawn twice, clipped to each part, in that part's text colour, so it
// stays readable where the filled part runs through it. The bar repaints only when the filled
// width in pixels or the text changes, so a worker reporting every block costs no drawing, and
// never within the call that changed it.
//
// Colours are taken from the palette when the bar is made: filled = highlight, unfilled =
// base (the window colour); text over the unfilled part = highlight, over the filled part =
// base.
class TextProgressBar : public QWidget {
  Q_OBJECT

 public:
  explicit TextProgressBar(QWidget* parent = nullptr);

  void SetRange(int lower, int upper);
  // Returns the previous position.
  int SetPos(int position);
  int GetPos() const { return position_; }
  // Shown at the next repaint (a position or text change), not at once.
  void SetUnfilledColour(const QColor& colour) { unfilled_ = colour; }
  const QColor& UnfilledColour() const { return unfilled_; }
  void SetShowText(bool show);
  void SetText(const QString& text);
  const QString& Text() const { return text_; }

  // What the bar shows: its text, or "%d%%" of the filled fraction when the text is empty.
  QString ShownText() const;
  // How many times the bar has painted itself (for the repaint rule's test).
  int PaintCount() const { return paints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  double Fraction() const;
  int FilledWidth() const;

  int position_ = 0;
  int lower_ = 0;
  int upper_ = 100;
  QString text_;
  bool showText_ = true;
  int lastWidth_ = -1;
  int paints_ = 0;
  QColor filled_, unfilled_, textOverUnfilled_, textOverFilled_;
};

}  // namespace widgets
