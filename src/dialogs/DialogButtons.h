// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The OK and Cancel buttons every dialog closes with: OK the default button
// (Enter) accepting, Cancel rejecting (as Esc does).

#include <QRect>

class QDialog;
class QPushButton;

void AddOkCancel(QDialog *dialog, QPushButton *&ok, const QRect &okRect, QPushButton *&cancel,
                 const QRect &cancelRect);
