#include "gui/UrlLabel.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

namespace tarsil::gui {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent) {
  remembered_ = palette().color(QPalette::WindowText);
  setCursor(Qt::PointingHandCursor);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
  remembered_ = palette().color(QPalette::WindowText);
  QPalette changed = palette();
  changed.setColor(QPalette::WindowText, ChangeColor);
  setPalette(changed);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
  QPalette restored = palette();
  restored.setColor(QPalette::WindowText, remembered_);
  setPalette(restored);
  QFont plain = font();
  plain.setUnderline(false);
  setFont(plain);
  QLabel::leaveEvent(event);
}

void LinkLabel::OpenDocument(const QString& target) {
  if (target.isEmpty()) return;
  if (opener) {
    opener(target);
  } else {
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
  }
}

void UrlLabel::SetURL(const QString& url) {
  url_ = url;
  if (text().isEmpty()) setText(url);
}

void UrlLabel::Click() {
  if (!OnClick) {
    OpenDocument(url_);
    return;
  }
  OnClick();
}

void UrlLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Click();
  QLabel::mouseReleaseEvent(event);
}

}  // namespace tarsil::gui
