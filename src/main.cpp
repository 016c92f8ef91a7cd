// SPDX-License-Identifier: GPL-3.0-or-later
// Molvar: a desktop tool for a CAN bus behind a USB-to-CAN adapter.

#include "mainwindow/Application.h"
#include "mainwindow/UnitConnect.h"
#include "mainwindow/UnitMain.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  SetUpApplication();
  CloseOnTerminationSignals();
  try {
    CreateForms();
    FormMain->show();
    app.exec();
    DestroyForms();
  } catch (const std::exception &e) {
    QMessageBox::critical(nullptr, ApplicationTitle, QString::fromLocal8Bit(e.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, ApplicationTitle, QString());
  }
  return 0;
}
