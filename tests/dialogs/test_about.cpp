// The About dialog.

#include "GuiHelpers.h"
#include "dialogs/UnitAbout.h"
#include "mainwindow/UnitMain.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPushButton>

namespace {

using About = GuiTest;

TEST_F(About, ShowsTheBuiltVersionAndCopyright) {
  EXPECT_EQ(FormAbout->LabelVersion->text(), "V" MOLVAR_VERSION);
  EXPECT_EQ(FormAbout->LabelCopyright->text(), MOLVAR_COPYRIGHT);
  EXPECT_TRUE(FormAbout->LabelLink->text().startsWith("https://"));
  EXPECT_EQ(FormAbout->LabelLink->toolTip(), FormAbout->LabelLink->text());
  ModalDriver d;
  bool debugVisible = true;
  QPoint pos;
  d.Then([&](QWidget *) {
    debugVisible = FormAbout->LabelDebug->isVisible();
    pos = FormAbout->pos();
    FormAbout->BitBtnClose->click();
  });
  FormMain->mi_AboutClick();
  EXPECT_FALSE(debugVisible);
  EXPECT_EQ(pos, FormMain->pos() + QPoint(20, 20));
}

TEST_F(About, LinkTurnsBlueAndUnderlinedOnHover) {
  TLinkLabel *link = FormAbout->LabelLink;
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_FALSE(link->font().underline());
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(link, &enter);
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
  EXPECT_TRUE(link->font().underline());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(link, &leave);
  EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_FALSE(link->font().underline());
}

} // namespace
