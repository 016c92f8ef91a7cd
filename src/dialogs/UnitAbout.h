// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The About dialog: name, version and copyright of the program.

#include <QDialog>
#include <QLabel>
#include <QMap>

class QPlainTextEdit;
class QPushButton;

// Reads the string values of the program's version resource, which the build
// embeds from the project's one version number.
class TVersionInfo {
public:
  TVersionInfo();
  QString Value(const QString &key) const { return FValues.value(key); }

private:
  QMap<QString, QString> FValues;
};

// A label that shows a web address and opens it in the default browser.
class TLinkLabel : public QLabel {
  Q_OBJECT
public:
  TLinkLabel(const QString &address, QWidget *parent = nullptr);
  bool Hovered() const { return FHovered; }

protected:
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;

private:
  void SetLook(bool hovered);
  QString FAddress;
  bool FHovered = false;
};

class TFormAbout : public QDialog {
  Q_OBJECT
public:
  explicit TFormAbout(QWidget *parent = nullptr);
  void ShowAbout(int left, int top);

  QLabel *Image1;
  QPlainTextEdit *Memo1;
  QLabel *LabelVersion;
  QLabel *LabelCopyright;
  TLinkLabel *LabelLink;
  QLabel *LabelDebug;
  QPushButton *BitBtnClose;
  TVersionInfo VersionInfo1;
};

extern TFormAbout *FormAbout;
