#include "LimitedEdit.h"

TLimitedEdit::TLimitedEdit(int typedLimit, QWidget *parent) : QLineEdit(parent), FLimit(typedLimit) {
  connect(this, &QLineEdit::textEdited, this, [this](const QString &text) {
    if (text.size() > FLimit && text.size() > FLast.size()) {
      const int cursor = cursorPosition() - static_cast<int>(text.size() - FLast.size());
      setText(FLast);
      setCursorPosition(std::max(0, cursor));
    }
  });
  connect(this, &QLineEdit::textChanged, this, [this](const QString &text) { FLast = text; });
}
