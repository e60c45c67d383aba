// LinkLabel and UrlLabel: a label that shows a link. The mouse over it changes its colour
// to ChangeColor and underlines it; a click opens URL with the desktop's viewer, unless an OnClick
// handler is set, which then replaces the opening. GUI thread.
#pragma once

#include <QColor>
#include <QLabel>
#include <functional>

namespace tarsil::gui {

enum class WindowShowState { wsNormal, wsMinimized, wsMaximized };

class LinkLabel : public QLabel {
 public:
  explicit LinkLabel(QWidget* parent = nullptr);

  QColor ChangeColor = QColor(0, 0, 255);
  // How the opened document's window should show; the desktop's viewer decides on Linux.
  WindowShowState WindowState = WindowShowState::wsNormal;
  // Opens documents; the desktop's viewer unless replaced (tests).
  std::function<bool(const QString&)> opener;

  // Opens `target` when it is not empty.
  virtual void OpenDocument(const QString& target);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QColor remembered_;
};

class UrlLabel : public LinkLabel {
 public:
  explicit UrlLabel(QWidget* parent = nullptr) : LinkLabel(parent) {}

  const QString& URL() const { return url_; }
  // Stores the address; an empty caption becomes the address.
  void SetURL(const QString& url);
  std::function<void()> OnClick;

  void Click();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString url_;
};

}  // namespace tarsil::gui
