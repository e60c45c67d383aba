#include "gui/AboutBox.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "app/TransferWindowState.h"
#include "gui/Dialogs.h"
#include "gui/Fonts.h"
#include "gui/GuiMessages.h"
#include "gui/UrlLabel.h"

namespace tarsil::gui {

AboutBox::AboutBox(const QString& address, QWidget* owner) : QDialog(owner) {
  setObjectName("AboutBox");
  setWindowTitle(Utf8(texts::kAboutCaption));
  setFont(UiFont());
  setFixedSize(374, 128);

  const QIcon icon = QApplication::windowIcon().isNull()
                         ? style()->standardIcon(QStyle::SP_ComputerIcon)
                         : QApplication::windowIcon();
  auto* picture1 = new QLabel(this);
  picture1->setPixmap(icon.pixmap(32, 32));
  picture1->setGeometry(12, 12, 32, 32);
  auto* picture2 = new QLabel(this);
  picture2->setPixmap(style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(32, 32));
  picture2->setGeometry(12, 56, 32, 32);

  auto* name = new QLabel(Utf8(texts::kProductName), this);
  QFont large = font();
  large.setPixelSize(29);
  name->setFont(large);
  name->setGeometry(60, 6, 200, 36);
  auto* comment = new QLabel(Utf8(texts::kProductComment), this);
  comment->setGeometry(60, 44, 200, 18);
  label5_ = new QLabel(FromCp932(AboutVersionLine("1.0")), this);
  label5_->setObjectName("Label5");
  label5_->setGeometry(60, 64, 200, 18);
  link_ = new UrlLabel(this);
  link_->setObjectName("URLLabel1");
  link_->ChangeColor = QColor(0, 0, 255);
  link_->WindowState = WindowShowState::wsNormal;
  link_->SetURL(address);
  link_->setGeometry(60, 86, 300, 18);
  auto* ok = new QPushButton(Utf8(texts::kAboutOk), this);
  ok->setGeometry(284, 12, 75, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

int AboutBox::Open() {
  PlaceRelativeTo(this, parentWidget(), QPoint(50, 50));
  return exec();
}

void AboutBox::showEvent(QShowEvent* event) {
  label5_->setText(FromCp932(AboutVersionLine(version_)));
  QDialog::showEvent(event);
}

}  // namespace tarsil::gui
