// A spin box that takes any number typed into it and brings it into its range when the typing
// ends (Enter, leaving the box), as values loaded into it are: 1000 in a box of 5 to 200 becomes
// 200, and text that is no number reads as the minimum. The plain spin box refuses the digit
// that leaves the range, so typing 1000 there ends as 100. GUI thread.
#pragma once

#include <QSpinBox>

namespace tarsil::gui {

class RangeSpinBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QValidator::State validate(QString& text, int& pos) const override;
  void fixup(QString& text) const override;
};

}  // namespace tarsil::gui
