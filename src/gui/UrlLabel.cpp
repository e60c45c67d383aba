#include "gui/UrlLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace tarsil::gui {

TInetCustomLabel::TInetCustomLabel(QWidget* parent) : QLabel(parent) {
  remembered_ = palette().color(QPalette::WindowText);
  setCursor(Qt::PointingHandCursor);
}

void TInetCustomLabel::enterEvent(QEnterEvent* event) {
  remembered_ = palette().color(QPalette::WindowText);
  QPalette changed = palette();
  changed.setColor(QPalette::WindowText, ChangeColor);
  setPalette(changed);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QLabel::enterEvent(event);
}

void TInetCustomLabel::leaveEvent(QEvent* event) {
  QPalette restored = palette();
  restored.setColor(QPalette::WindowText, remembered_);
  setPalette(restored);
  QFont plain = font();
  plain.setUnderline(false);
  setFont(plain);
  QLabel::leaveEvent(event);
}

void TInetCustomLabel::OpenDocument(const QString& target) {
  if (target.isEmpty()) return;
  if (opener) {
    opener(target);
  } else {
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
  }
}

void TURLLabel::SetURL(const QString& url) {
  url_ = url;
  if (text().isEmpty()) setText(url);
}

void TURLLabel::Click() {
  if (!OnClick) {
    OpenDocument(url_);
    return;
  }
  OnClick();
}

void TURLLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Click();
  QLabel::mouseReleaseEvent(event);
}

}  // namespace tarsil::gui
