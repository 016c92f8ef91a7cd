// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A line edit whose length limit applies to typing only: text the program
// puts into it is shown whole, and the user may shorten it, but typing or
// pasting never makes the text longer than the limit.

#include <QLineEdit>

class QLabel;

class TLimitedEdit : public QLineEdit {
  Q_OBJECT
public:
  explicit TLimitedEdit(int typedLimit, QWidget *parent = nullptr);
  int TypedLimit() const { return FLimit; }
  // A shorter limit leaves a longer text as it is.
  void SetTypedLimit(int typedLimit) { FLimit = typedLimit; }

protected:
  void keyPressEvent(QKeyEvent *event) override;

private:
  // How many characters of an insertion still fit.
  qsizetype Room() const;
  int FLimit;
};

// A limited edit with its label above it, the label's mnemonic leading to
// the edit; both named, both placed.
TLimitedEdit *LabeledEdit(QWidget *parent, int typedLimit, const char *name, QLabel *label, const QRect &labelRect,
                          const QRect &editRect);
