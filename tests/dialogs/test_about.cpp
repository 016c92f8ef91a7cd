// SPDX-License-Identifier: GPL-3.0-or-later
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

// The pointer entering and leaving the link in the shown dialog (the
// offscreen platform has no pointer of its own to move): a changed look
// while over it, the resting look back after.
TEST_F(About, LinkChangesItsLookWhileThePointerIsOverIt) {
  ModalDriver d;
  QColor resting, hovered, left;
  bool underlinedResting = true, underlinedHovered = false, underlinedLeft = true;
  d.Then([&](QWidget *) {
    TLinkLabel *link = FormAbout->LabelLink;
    resting = link->palette().color(QPalette::WindowText);
    underlinedResting = link->font().underline();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), link->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(link, &enter);
    hovered = link->palette().color(QPalette::WindowText);
    underlinedHovered = link->font().underline();
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(link, &leave);
    left = link->palette().color(QPalette::WindowText);
    underlinedLeft = link->font().underline();
    FormAbout->BitBtnClose->click();
  });
  FormMain->mi_AboutClick();
  EXPECT_FALSE(underlinedResting);
  EXPECT_TRUE(underlinedHovered);
  EXPECT_NE(hovered, resting);
  EXPECT_EQ(left, resting);
  EXPECT_FALSE(underlinedLeft);
}

// The icon is drawn from bitmaps, so it shows without an SVG image loader.
TEST_F(About, ProgramIconShowsInAboutAndOnTheWindows) {
  const QPixmap image = FormAbout->Image1->pixmap();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(32, 32));
  EXPECT_FALSE(FormMain->windowIcon().pixmap(32, 32).isNull());
  EXPECT_FALSE(QApplication::windowIcon().pixmap(16, 16).isNull());
}

} // namespace
