// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs' OK and Cancel buttons; see DialogButtons.h.

#include "DialogButtons.h"

#include <QDialog>
#include <QPushButton>

void AddOkCancel(QDialog *dialog, QPushButton *&ok, const QRect &okRect, QPushButton *&cancel,
                 const QRect &cancelRect) {
  ok = new QPushButton("OK", dialog);
  ok->setObjectName("BitBtnOk");
  ok->setDefault(true);
  ok->setGeometry(okRect);
  cancel = new QPushButton("Cancel", dialog);
  cancel->setObjectName("BitBtnCancel");
  cancel->setGeometry(cancelRect);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}
