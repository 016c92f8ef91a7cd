// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filter dialog: the adapter's fourteen acceptance filter banks.

#include "adapter/Vni_if.h"

#include <QComboBox>
#include <QDialog>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QPushButton;
class TLimitedEdit;

// A drop-down list that says when its list closes, whether or not the
// choice changed.
class TCloseUpComboBox : public QComboBox {
  Q_OBJECT
public:
  using QComboBox::QComboBox;
  void hidePopup() override;
signals:
  void closedUp();
};

// A row-wrapping tab strip: fourteen tabs do not fit in one row of a small
// dialog, so they sit in several rows.
class TTabControl : public QWidget {
  Q_OBJECT
public:
  TTabControl(int tabs, int perRow, int tabWidth, QWidget *parent = nullptr);
  int TabIndex() const { return FIndex; }
  // Selects a tab without telling anyone.
  void SetTabIndexQuietly(int index);
  QWidget *Page() const { return FPage; }
  QPushButton *Tab(int index) const;
signals:
  void changed();

protected:
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void UpdateFocusStop();
  QAbstractButton *FocusTab() const;
  QButtonGroup *FGroup;
  QWidget *FPage;
  int FIndex = 0;
};

class TFormFilter : public QDialog {
  Q_OBJECT
public:
  explicit TFormFilter(QWidget *parent = nullptr);

  bool EditFilters(TFilterTable &table, int left, int top);

  TFilterTable WorkingTable{};
  int CurrentBank = 0;

  QLabel *Label1;
  TTabControl *TabControl1;
  QCheckBox *CheckBoxActive;
  QComboBox *ComboBoxIDType;
  TCloseUpComboBox *ComboBoxMode;
  QLabel *LabelEdit1;
  QLabel *LabelEdit2;
  TLimitedEdit *LabeledEdit1;
  TLimitedEdit *LabeledEdit2;
  QPushButton *BitBtnDefault;
  QPushButton *BitBtnOk;
  QPushButton *BitBtnCancel;

  void TabControl1Change();
  void BitBtnDefaultClick();

private:
  void ShowBank();
  void StoreBank();
};

extern TFormFilter *FormFilter;
