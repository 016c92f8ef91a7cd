// SPDX-License-Identifier: GPL-3.0-or-later
// The filter dialog and its row-wrapping tab strip.
#include "UnitFilter.h"

#include "dialogs/DialogButtons.h"
#include "dialogs/LimitedEdit.h"
#include "can/FrameText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

TFormFilter *FormFilter = nullptr;

// The list closes before the combo box commits the item chosen in it, so
// the signal waits until the event that closed the list has been handled.
void TCloseUpComboBox::hidePopup() {
  QComboBox::hidePopup();
  QMetaObject::invokeMethod(this, &TCloseUpComboBox::closedUp, Qt::QueuedConnection);
}

TTabControl::TTabControl(int tabs, int perRow, int tabWidth, QWidget *parent) : QWidget(parent) {
  FGroup = new QButtonGroup(this);
  FGroup->setExclusive(true);
  const int tabHeight = 24;
  const int rows = (tabs + perRow - 1) / perRow;
  for (int i = 0; i < tabs; ++i) {
    auto *b = new QPushButton(QString("%1.").arg(i + 1), this);
    b->setObjectName(QString("Tab%1").arg(i + 1));
    b->setCheckable(true);
    b->setAutoDefault(false);
    b->installEventFilter(this);
    b->setGeometry((i % perRow) * tabWidth, (i / perRow) * tabHeight, tabWidth, tabHeight);
    FGroup->addButton(b, i);
  }
  FGroup->button(0)->setChecked(true);
  UpdateFocusStop();
  FPage = new QWidget(this);
  FPage->setObjectName("TabPage");
  FPage->setGeometry(0, rows * tabHeight, perRow * tabWidth, 10);
  connect(FGroup, &QButtonGroup::idClicked, this, [this](int id) {
    if (id == FIndex)
      return;
    FIndex = id;
    UpdateFocusStop();
    emit changed();
  });
}

// The tab strip is one stop of the focus chain: the selected tab.
void TTabControl::UpdateFocusStop() {
  // The window's own focus widget: hasFocus() is false while the window is
  // not the active one yet, and the focus would stay on the old tab.
  const bool hadFocus = FocusTab() && window()->focusWidget() == FocusTab();
  for (QAbstractButton *b : FGroup->buttons())
    b->setFocusPolicy(FGroup->id(b) == FIndex ? Qt::TabFocus : Qt::NoFocus);
  if (hadFocus)
    FocusTab()->setFocus();
}

QAbstractButton *TTabControl::FocusTab() const {
  for (QAbstractButton *b : FGroup->buttons())
    if (b->focusPolicy() != Qt::NoFocus)
      return b;
  return nullptr;
}

// Arrow keys move between the tabs, as in a tab bar.
bool TTabControl::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent *>(event)->key();
    const int step = (key == Qt::Key_Left || key == Qt::Key_Up) ? -1 : (key == Qt::Key_Right || key == Qt::Key_Down) ? 1 : 0;
    const int next = FIndex + step;
    if (step != 0 && next >= 0 && next < FGroup->buttons().size()) {
      FGroup->button(next)->click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

QPushButton *TTabControl::Tab(int index) const { return qobject_cast<QPushButton *>(FGroup->button(index)); }

void TTabControl::SetTabIndexQuietly(int index) {
  if (QAbstractButton *b = FGroup->button(index)) {
    b->setChecked(true);
    FIndex = index;
    UpdateFocusStop();
  }
}

TFormFilter::TFormFilter(QWidget *parent) : QDialog(parent) {
  setObjectName("FormFilter");
  setWindowTitle("Filter Settings");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  const int margin = 8;
  Label1 = new QLabel("Filter Bank", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(margin, 6, 200, 18);

  // Fourteen tabs of 28 pixels: seven to a row, two rows.
  TabControl1 = new TTabControl(FilterBankCount, 7, 28, this);
  TabControl1->setObjectName("TabControl1");
  QWidget *page = TabControl1->Page();
  page->setGeometry(0, 48, 330, 150);
  TabControl1->setGeometry(margin, 26, 330, 198);

  CheckBoxActive = new QCheckBox("Active", page);
  CheckBoxActive->setObjectName("CheckBoxActive");
  CheckBoxActive->setGeometry(8, 8, 150, 22);
  ComboBoxIDType = new QComboBox(page);
  ComboBoxIDType->setObjectName("ComboBoxIDType");
  ComboBoxIDType->addItems({"Standard", "Extended"});
  ComboBoxIDType->setGeometry(8, 38, 150, 26);
  ComboBoxMode = new TCloseUpComboBox(page);
  ComboBoxMode->setObjectName("ComboBoxMode");
  ComboBoxMode->addItems({"ID and ID mask", "two IDs (list if IDs)"});
  ComboBoxMode->setGeometry(168, 38, 154, 26);
  LabelEdit1 = new QLabel(page);
  LabelEdit1->setObjectName("LabelEdit1");
  LabeledEdit1 = LabeledEdit(page, 5, "LabeledEdit1", LabelEdit1, {8, 74, 150, 18}, {8, 94, 150, 24});
  LabelEdit2 = new QLabel(page);
  LabelEdit2->setObjectName("LabelEdit2");
  LabeledEdit2 = LabeledEdit(page, 5, "LabeledEdit2", LabelEdit2, {168, 74, 154, 18}, {168, 94, 154, 24});

  BitBtnDefault = new QPushButton("Set to Default", this);
  BitBtnDefault->setObjectName("BitBtnDefault");
  BitBtnDefault->setAutoDefault(false);
  BitBtnDefault->setGeometry(margin, 232, 110, 30);
  AddOkCancel(this, BitBtnOk, {128, 232, 100, 30}, BitBtnCancel, {238, 232, 100, 30});

  setTabOrder(BitBtnDefault, BitBtnOk);
  setTabOrder(BitBtnOk, BitBtnCancel);
  // After Cancel the tab strip, which the focus enters on its selected tab.
  setTabOrder(BitBtnCancel, TabControl1->Tab(0));
  for (int i = 1; i < FilterBankCount; ++i)
    setTabOrder(TabControl1->Tab(i - 1), TabControl1->Tab(i));
  setTabOrder(TabControl1->Tab(FilterBankCount - 1), CheckBoxActive);
  setTabOrder(CheckBoxActive, ComboBoxIDType);
  setTabOrder(ComboBoxIDType, ComboBoxMode);
  setTabOrder(ComboBoxMode, LabeledEdit1);
  setTabOrder(LabeledEdit1, LabeledEdit2);

  connect(BitBtnDefault, &QPushButton::clicked, this, &TFormFilter::BitBtnDefaultClick);
  connect(TabControl1, &TTabControl::changed, this, &TFormFilter::TabControl1Change);
  connect(ComboBoxMode, &TCloseUpComboBox::closedUp, this, &TFormFilter::TabControl1Change);

  setFixedSize(BitBtnCancel->geometry().right() + 1 + BitBtnDefault->x(),
               BitBtnCancel->geometry().bottom() + 1 + BitBtnDefault->x());
}

bool TFormFilter::EditFilters(TFilterTable &table, int left, int top) {
  WorkingTable = table;
  move(left, top);
  CurrentBank = TabControl1->TabIndex();
  ShowBank();
  if (exec() != QDialog::Accepted)
    return false;
  StoreBank();
  table = WorkingTable;
  return true;
}

void TFormFilter::ShowBank() {
  const TFilterBank &b = WorkingTable[TabControl1->TabIndex()];
  CheckBoxActive->setChecked(b.Active != 0);
  ComboBoxIDType->setCurrentIndex(b.IDType != 0 ? 1 : 0);
  ComboBoxMode->setCurrentIndex(b.Mode <= 1 ? b.Mode : -1);
  LabeledEdit1->setText(QString::number(b.ID, 16).toUpper());
  LabeledEdit2->setText(QString::number(b.Mask, 16).toUpper());
  switch (ComboBoxMode->currentIndex()) {
  case 0:
    LabelEdit1->setText("Identifier (hex)");
    LabelEdit2->setText("Mask (hex)");
    break;
  case 1:
    LabelEdit1->setText("1. Identifier (hex)");
    LabelEdit2->setText("2. Identifier (hex)");
    break;
  default:
    LabelEdit1->setText("(hex)");
    LabelEdit2->setText("(hex)");
    break;
  }
}

void TFormFilter::StoreBank() {
  TFilterBank &b = WorkingTable[CurrentBank];
  b.Active = CheckBoxActive->isChecked() ? 1 : 0;
  // With no mode entry shown (a value other than 0 or 1 from a hand-edited
  // file) the stored mode stays as it was.
  if (ComboBoxMode->currentIndex() >= 0)
    b.Mode = static_cast<uint8_t>(ComboBoxMode->currentIndex());
  b.IDType = ComboBoxIDType->currentIndex() == 1 ? 4 : 0;
  b.ID = HexToInt(LabeledEdit1->text());
  b.Mask = HexToInt(LabeledEdit2->text());
  CurrentBank = TabControl1->TabIndex();
}

void TFormFilter::TabControl1Change() {
  StoreBank();
  ShowBank();
}

void TFormFilter::BitBtnDefaultClick() {
  for (int i = 0; i < FilterBankCount; ++i) {
    TFilterBank &b = WorkingTable[i];
    b.IDType = 0;
    b.Bank = static_cast<uint8_t>(i);
    b.Active = i == 0 ? 1 : 0;
    b.Mode = 0;
    b.ID = 0;
    b.Mask = 0;
  }
  TabControl1->SetTabIndexQuietly(0);
  CurrentBank = 0;
  ShowBank();
}
