// AboutBox on the desktop: the version window opened from the Help menu, with the program's
// name, its comment line, the version line "Version " + the stored version text, and a link
// label with the user guide's address. Created once at start-up; GUI thread.
#pragma once

#include <QDialog>
#include <string>

class QLabel;

namespace tarsil::gui {

class UrlLabel;

class AboutBox : public QDialog {
 public:
  AboutBox(const QString& address, QWidget* owner = nullptr);

  // Shows the box modally, 50 pixels below and right of the owner's top-left corner as the
  // owner is placed now.
  int Open();

  // The version text (CP932) shown as "Version " + text at the next show.
  void SetVersion(std::string version) { version_ = std::move(version); }
  QLabel* VersionLabel() const { return label5_; }
  UrlLabel* Link() const { return link_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::string version_;
  QLabel* label5_ = nullptr;
  UrlLabel* link_ = nullptr;
};

}  // namespace tarsil::gui
