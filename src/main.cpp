// Molvar: a desktop tool for a CAN bus behind a USB-to-CAN adapter.

#include "mainwindow/Application.h"
#include "mainwindow/UnitConnect.h"
#include "mainwindow/UnitMain.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <exception>

int main(int argc, char *argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("molvar");
  QApplication::setApplicationDisplayName(ApplicationTitle);
  QApplication::setWindowIcon(QIcon(":/molvar/molvar.svg"));
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
