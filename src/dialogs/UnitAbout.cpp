// SPDX-License-Identifier: GPL-3.0-or-later
// The About dialog, its version information and its link.
#include "UnitAbout.h"

#include <QDesktopServices>
#include <QFile>
#include <QIcon>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextStream>
#include <QUrl>

TFormAbout *FormAbout = nullptr;

TVersionInfo::TVersionInfo() {
  QFile f(":/molvar/versioninfo");
  if (!f.open(QIODevice::ReadOnly))
    return;
  QTextStream in(&f);
  while (!in.atEnd()) {
    const QString line = in.readLine();
    const qsizetype eq = line.indexOf('=');
    if (eq > 0)
      FValues.insert(line.left(eq), line.mid(eq + 1));
  }
}

TLinkLabel::TLinkLabel(const QString &address, QWidget *parent) : QLabel(address, parent), FAddress(address) {
  setToolTip(address);
  setCursor(Qt::PointingHandCursor);
  SetLook(false);
}

void TLinkLabel::SetLook(bool hovered) {
  FHovered = hovered;
  QFont f = font();
  f.setUnderline(hovered);
  setFont(f);
  QPalette p = palette();
  p.setColor(QPalette::WindowText, hovered ? QColor(Qt::blue) : QColor(0, 0, 128));
  setPalette(p);
}

void TLinkLabel::enterEvent(QEnterEvent *) { SetLook(true); }
void TLinkLabel::leaveEvent(QEvent *) { SetLook(false); }
void TLinkLabel::mousePressEvent(QMouseEvent *) { QDesktopServices::openUrl(QUrl(FAddress)); }

TFormAbout::TFormAbout(QWidget *parent) : QDialog(parent) {
  setObjectName("FormAbout");
  setWindowTitle("About this Program");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  Image1 = new QLabel(this);
  Image1->setObjectName("Image1");
  Image1->setGeometry(16, 16, 32, 32);
  Image1->setPixmap(QPixmap(":/molvar/molvar-32.png"));
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setFrameShape(QFrame::NoFrame);
  Memo1->setGeometry(64, 12, 260, 96);
  Memo1->setPlainText("Varnell\nCAN Interface\nMolvar");
  QFont big = Memo1->font();
  big.setBold(true);
  big.setPixelSize(22);
  Memo1->setFont(big);
  QPalette p = Memo1->palette();
  p.setColor(QPalette::Base, palette().color(QPalette::Window));
  p.setColor(QPalette::Text, palette().color(QPalette::Link));
  Memo1->setPalette(p);
  LabelVersion = new QLabel("V" + VersionInfo1.Value("FileVersion"), this);
  LabelVersion->setObjectName("LabelVersion");
  LabelVersion->setGeometry(64, 116, 260, 20);
  LabelCopyright = new QLabel(VersionInfo1.Value("LegalCopyright"), this);
  LabelCopyright->setObjectName("LabelCopyright");
  LabelCopyright->setGeometry(64, 138, 260, 20);
  LabelLink = new TLinkLabel("https://" + VersionInfo1.Value("Homepage"), this);
  LabelLink->setObjectName("LabelLink");
  LabelLink->setGeometry(64, 160, 260, 20);
  LabelDebug = new QLabel("Debug Version!", this);
  LabelDebug->setObjectName("LabelDebug");
  LabelDebug->setStyleSheet("color: red; font-weight: bold;");
  LabelDebug->setGeometry(64, 182, 260, 20);
  LabelDebug->hide();
  BitBtnClose = new QPushButton("&Close", this);
  BitBtnClose->setObjectName("BitBtnClose");
  BitBtnClose->setDefault(true);
  BitBtnClose->setGeometry(224, 208, 100, 30);
  connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::accept);
  setFixedSize(BitBtnClose->geometry().right() + 1 + 16, BitBtnClose->geometry().bottom() + 1 + 16);
}

void TFormAbout::ShowAbout(int left, int top) {
  move(left, top);
  exec();
}
