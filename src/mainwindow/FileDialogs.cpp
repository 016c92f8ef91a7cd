// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileDialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

namespace {
// The name box's completion list belongs to the dialog. Return in the name
// box takes the name and closes the dialog with the list still open (and the
// folder's list, read in the background, can open it once the dialog is
// gone); left open, it keeps the keyboard, and the window's next Alt+letter
// goes to it.
class TCompletionCloser : public QObject {
public:
  TCompletionCloser(QFileDialog *dialog, QAbstractItemView *popup) : QObject(dialog), FDialog(dialog), FPopup(popup) {
    popup->installEventFilter(this);
    connect(dialog, &QDialog::finished, popup, &QWidget::hide);
  }

protected:
  bool eventFilter(QObject *watched, QEvent *event) override {
    if (watched == FPopup && event->type() == QEvent::Show && !FDialog->isVisible())
      QTimer::singleShot(0, FPopup, [popup = FPopup, dialog = FDialog] {
        if (!dialog->isVisible())
          popup->hide();
      });
    return false;
  }

private:
  QFileDialog *FDialog;
  QAbstractItemView *FPopup;
};

QFileDialog *FileDialog(QWidget *parent, const char *name, const char *title, const char *filter) {
  auto *d = new QFileDialog(parent, title, QString(), filter);
  d->setObjectName(name);
  d->setOption(QFileDialog::DontUseNativeDialog, true);
  if (auto *name = d->findChild<QLineEdit *>("fileNameEdit"); name && name->completer())
    new TCompletionCloser(d, name->completer()->popup());
  return d;
}
} // namespace

QFileDialog *SaveFileDialog(QWidget *parent, const char *name, const char *title, const char *filter,
                            const char *suffix) {
  QFileDialog *d = FileDialog(parent, name, title, filter);
  d->setAcceptMode(QFileDialog::AcceptSave);
  d->setFileMode(QFileDialog::AnyFile);
  d->setDefaultSuffix(suffix);
  return d;
}

QFileDialog *ReadFileDialog(QWidget *parent, const char *name, const char *title, const char *filter) {
  QFileDialog *d = FileDialog(parent, name, title, filter);
  d->setAcceptMode(QFileDialog::AcceptOpen);
  d->setFileMode(QFileDialog::ExistingFile);
  return d;
}
