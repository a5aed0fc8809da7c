#include "widgets/text_progress_bar.h"

#include <QPainter>

namespace widgets {

TextProgressBar::TextProgressBar(QWidget* parent) : QWidget(parent) {
  const QPalette& p = palette();
  filled_ = p.color(QPalette::Highlight);
  unfilled_ = p.color(QPalette::Base);
  textOverUnfilled_ = p.color(QPalette::Highlight);
  textOverFilled_ = p.color(QPalette::Base);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TextProgressBar::SetRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
}

int TextProgressBar::SetPos(int position) {
  const int previous = position_;
  position_ = position;
  const int width = FilledWidth();
  // Drawn at the event loop's next pass, not here: a worker waits in its send until the
  // handler that moved the bar returns, and the phone waits for that worker's next block.
  if (width != lastWidth_) {
    lastWidth_ = width;
    update();
  }
  return previous;
}

void TextProgressBar::SetShowText(bool show) {
  if (show != showText_) update();
  showText_ = show;
}

void TextProgressBar::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  update();
}

double TextProgressBar::Fraction() const {
  if (lower_ >= upper_) return 0;
  return static_cast<double>(position_ - lower_) / (upper_ - lower_);
}

int TextProgressBar::FilledWidth() const { return static_cast<int>(Fraction() * width()); }

QString TextProgressBar::ShownText() const {
  if (!text_.isEmpty()) return text_;
  return QString("%1%").arg(static_cast<int>(Fraction() * 100));
}

void TextProgressBar::paintEvent(QPaintEvent*) {
  ++paints_;
  QPainter painter(this);  // widgets paint into a back buffer: no flicker
  if (lower_ >= upper_) return;
  const QRect all = rect();
  const QRect filled(all.left(), all.top(), static_cast<int>(all.width() * Fraction()),
                     all.height());
  const QRect rest(filled.right() + 1, all.top(), all.width() - filled.width(), all.height());
  painter.fillRect(filled, filled_);
  painter.fillRect(rest, unfilled_);
  if (!showText_) return;
  const QString text = ShownText();
  for (const auto& [clip, colour] :
       {std::pair{filled, textOverFilled_}, std::pair{rest, textOverUnfilled_}}) {
    painter.setClipRect(clip);
    painter.setPen(colour);
    painter.drawText(all, Qt::AlignCenter | Qt::TextSingleLine, text);
  }
}

void TextProgressBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  lastWidth_ = -1;
}

}  // namespace widgets
