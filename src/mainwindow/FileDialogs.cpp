// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileDialogs.h"

#include <QFileDialog>

namespace {
QFileDialog *FileDialog(QWidget *parent, const char *name, const char *title, const char *filter) {
  auto *d = new QFileDialog(parent, title, QString(), filter);
  d->setObjectName(name);
  d->setOption(QFileDialog::DontUseNativeDialog, true);
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
