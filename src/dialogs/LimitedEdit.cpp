// SPDX-License-Identifier: GPL-3.0-or-later
// An edit whose length limit applies to typing only, and a labelled one.
#include "LimitedEdit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>

TLimitedEdit::TLimitedEdit(int typedLimit, QWidget *parent) : QLineEdit(parent), FLimit(typedLimit) {
  // Insertions come only through the keyboard, where they are counted.
  setContextMenuPolicy(Qt::NoContextMenu);
  setAcceptDrops(false);
}

qsizetype TLimitedEdit::Room() const {
  return std::max<qsizetype>(0, FLimit - (text().size() - selectedText().size()));
}

void TLimitedEdit::keyPressEvent(QKeyEvent *event) {
  if (event->matches(QKeySequence::Paste)) {
    const QString pasted = QGuiApplication::clipboard()->text().left(Room());
    if (!pasted.isEmpty())
      insert(pasted);
    event->accept();
    return;
  }
  const QString typed = event->text();
  const bool printable = !typed.isEmpty() && typed.at(0).isPrint();
  if (printable && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) && typed.size() > Room()) {
    event->accept(); // refused: the text is at its typed limit
    return;
  }
  QLineEdit::keyPressEvent(event);
}

TLimitedEdit *LabeledEdit(QWidget *parent, int typedLimit, const char *name, QLabel *label, const QRect &labelRect,
                          const QRect &editRect) {
  auto *edit = new TLimitedEdit(typedLimit, parent);
  edit->setObjectName(name);
  edit->setGeometry(editRect);
  label->setGeometry(labelRect);
  label->setBuddy(edit);
  return edit;
}
