// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The windows' file dialogs: Qt's own (the same on every desktop, and
// driven by the tests as a user would), named for the tests.

class QFileDialog;
class QWidget;

// A dialog that names a file to write; suffix is added to a name without one.
QFileDialog *SaveFileDialog(QWidget *parent, const char *name, const char *title, const char *filter,
                            const char *suffix);
// A dialog that chooses an existing file to read.
QFileDialog *ReadFileDialog(QWidget *parent, const char *name, const char *title, const char *filter);
