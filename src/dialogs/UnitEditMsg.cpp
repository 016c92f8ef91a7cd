// SPDX-License-Identifier: GPL-3.0-or-later
// The frame editor.
#include "UnitEditMsg.h"

#include "DialogButtons.h"
#include "LimitedEdit.h"
#include "can/Dbc.h"
#include "can/Frame.h"
#include "config/SetupFile.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>

#include <algorithm>
#include <cmath>
#include <cstring>

TFormEditMsg *FormEditMsg = nullptr;

namespace {
// Digits a user may type for an identifier of each kind.
constexpr int StandardIdDigits = 5;
constexpr int ExtendedIdDigits = 8;
} // namespace

TFormEditMsg::TFormEditMsg(QWidget *parent) : QDialog(parent) {
  setObjectName("FormEditMsg");
  setWindowTitle("CAN Message for Transmission");
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

  RadioGroup1 = new QGroupBox(" Message Type ", this);
  RadioGroup1->setObjectName("RadioGroup1");
  RadioGroup1->setGeometry(8, 8, 140, 72);
  RadioStandard = new QRadioButton("&Standard", RadioGroup1);
  RadioStandard->setObjectName("RadioStandard");
  RadioStandard->setGeometry(12, 22, 120, 20);
  RadioExtended = new QRadioButton("&Extended", RadioGroup1);
  RadioExtended->setObjectName("RadioExtended");
  RadioExtended->setGeometry(12, 44, 120, 20);

  LabelID = new QLabel("Message ID (hex)", this);
  LabeledEditID = LabeledEdit(this, StandardIdDigits, "LabeledEditID", LabelID, {164, 14, 150, 18}, {164, 34, 90, 24});
  // An extended identifier (J1939, diagnostics: 18FEF100, 18DAF110) needs
  // all eight digits.
  connect(RadioExtended, &QRadioButton::toggled, this,
          [this](bool extended) { LabeledEditID->SetTypedLimit(extended ? ExtendedIdDigits : StandardIdDigits); });

  TabbedNotebook1 = new QTabWidget(this);
  TabbedNotebook1->setObjectName("TabbedNotebook1");
  TabbedNotebook1->setGeometry(8, 88, 344, 100);
  auto *pageData = new QWidget;
  auto *pageRemote = new QWidget;
  TabbedNotebook1->addTab(pageData, "data");
  TabbedNotebook1->addTab(pageRemote, "remote request");
  Label1 = new QLabel("Message Data (hex)", pageData);
  Label1->setObjectName("Label1");
  Label1->setGeometry(8, 6, 200, 18);
  for (int k = 0; k < 8; ++k) {
    auto *e = new QLineEdit(pageData);
    e->setObjectName(QString("Edit%1").arg(k + 1));
    e->setMaxLength(2);
    e->setGeometry(8 + k * 40, 28, 34, 24);
    e->installEventFilter(this);
    DataEdits[k] = e;
  }
  Label2 = new QLabel("Requested data length:", pageRemote);
  Label2->setObjectName("Label2");
  Label2->setGeometry(8, 6, 200, 18);
  SpinEdit1 = new QSpinBox(pageRemote);
  SpinEdit1->setObjectName("SpinEdit1");
  SpinEdit1->setRange(0, 8);
  SpinEdit1->setGeometry(8, 28, 60, 24);

  auto *pageSignals = new QWidget;
  TabbedNotebook1->addTab(pageSignals, "signals");
  LabelMessageName = new QLabel(pageSignals);
  LabelMessageName->setObjectName("LabelMessageName");
  LabelMessageName->setGeometry(8, 6, 320, 18);
  TableSignals = new QTableWidget(0, 3, pageSignals);
  TableSignals->setObjectName("TableSignals");
  TableSignals->setHorizontalHeaderLabels({"Signal", "Value", "Unit / meaning"});
  TableSignals->verticalHeader()->hide();
  TableSignals->horizontalHeader()->setStretchLastSection(true);
  TableSignals->setColumnWidth(ColSignal, 120);
  TableSignals->setColumnWidth(ColValue, 90);
  TableSignals->setSelectionMode(QAbstractItemView::SingleSelection);
  TableSignals->setToolTip("type a value (or its meaning) to set the signal's bits in the data");
  connect(TableSignals, &QTableWidget::itemChanged, this, &TFormEditMsg::SignalEdited);
  connect(TabbedNotebook1, &QTabWidget::currentChanged, this, [this](int page) {
    if (page == PageSignals)
      ShowSignals();
  });
  connect(LabeledEditID, &QLineEdit::textChanged, this, &TFormEditMsg::UpdateSignalPage);
  connect(RadioExtended, &QRadioButton::toggled, this, &TFormEditMsg::UpdateSignalPage);

  LabelCycle = new QLabel("Cycle time (ms)", this);
  LabelCycle->setObjectName("LabelCycle");
  SpinEditCycle = new QSpinBox(this);
  SpinEditCycle->setObjectName("SpinEditCycle");
  SpinEditCycle->setRange(0, MaxCycleMs);
  SpinEditCycle->setToolTip("send the message cyclically with this period (Tx cyclic); 0: off");
  LabelCycle->setBuddy(SpinEditCycle);

  AddOkCancel(this, BitBtnOk, {8, 230, 100, 30}, BitBtnCancel, {252, 230, 100, 30});

  for (QWidget *w : {static_cast<QWidget *>(RadioStandard), static_cast<QWidget *>(RadioExtended),
                     static_cast<QWidget *>(LabeledEditID), static_cast<QWidget *>(SpinEdit1),
                     static_cast<QWidget *>(SpinEditCycle),
                     static_cast<QWidget *>(BitBtnOk), static_cast<QWidget *>(BitBtnCancel)})
    w->installEventFilter(this);
  PlaceControls();
}

// The signals page needs room for a table; without a database the dialog
// keeps its compact size.
void TFormEditMsg::PlaceControls() {
  const int notebookHeight = FDatabase ? 250 : 100;
  TabbedNotebook1->setGeometry(8, 88, 344, notebookHeight);
  TabbedNotebook1->setTabVisible(PageSignals, FDatabase != nullptr);
  TableSignals->setGeometry(4, 28, 330, notebookHeight - 60);
  const int below = 88 + notebookHeight;
  LabelCycle->setGeometry(8, below + 12, 150, 18);
  SpinEditCycle->setGeometry(164, below + 8, 90, 24);
  BitBtnOk->setGeometry(8, below + 42, 100, 30);
  BitBtnCancel->setGeometry(252, below + 42, 100, 30);
  // Just large enough for the controls: the OK button's margin all round.
  const int margin = BitBtnOk->x();
  setFixedSize(BitBtnCancel->geometry().right() + 1 + margin, BitBtnCancel->geometry().bottom() + 1 + margin);
}

void TFormEditMsg::SetDatabase(const TDatabase *db) {
  FDatabase = db;
  PlaceControls();
  UpdateSignalPage();
}

const TDbcMessage *TFormEditMsg::TypedMessage() const {
  if (!FDatabase || LabeledEditID->text().isEmpty())
    return nullptr;
  const bool extended = RadioExtended->isChecked();
  return FDatabase->Find(MaskId(HexToInt(LabeledEditID->text()), extended), extended);
}

// The signals page is open only for an identifier the database describes.
void TFormEditMsg::UpdateSignalPage() {
  const TDbcMessage *m = TypedMessage();
  TabbedNotebook1->setTabEnabled(PageSignals, m != nullptr);
  if (!m && TabbedNotebook1->currentIndex() == PageSignals)
    TabbedNotebook1->setCurrentIndex(PageData);
  else if (TabbedNotebook1->currentIndex() == PageSignals)
    ShowSignals();
}

// The data bytes as typed, up to the first empty edit; their count.
int TFormEditMsg::TypedData(uint8_t (&data)[8]) const {
  std::memset(data, 0, sizeof data);
  int length = 0;
  for (; length < 8 && !DataEdits[length]->text().isEmpty(); ++length)
    data[length] = static_cast<uint8_t>(HexToInt(DataEdits[length]->text()));
  return length;
}

// The signals as the data bytes hold them.
void TFormEditMsg::ShowSignals() {
  const TDbcMessage *m = TypedMessage();
  FFilling = true;
  TableSignals->setRowCount(0);
  if (m) {
    uint8_t data[8];
    const int length = TypedData(data);
    LabelMessageName->setText(QString::fromStdString(m->Name) + QString(" (%1 bytes)").arg(m->Length));
    TableSignals->setRowCount(static_cast<int>(m->Signals.size()));
    int row = 0;
    for (const TSignal &s : m->Signals) {
      uint64_t raw = 0;
      const bool present = SignalPresent(*m, s, data, length);
      const bool held = present && RawBits(s, data, length, raw);
      const std::string *meaning = held ? ValueText(s, raw) : nullptr;
      auto *name = new QTableWidgetItem(QString::fromStdString(s.Name));
      auto *value = new QTableWidgetItem(held ? QString::number(Physical(s, raw), 'g', 10) : QString());
      auto *unit = new QTableWidgetItem(meaning ? QString::fromStdString(*meaning) : QString::fromStdString(s.Unit));
      name->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      unit->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      // A multiplexed signal its multiplexer does not select is not in the
      // frame: it is set by choosing the multiplexer's value first.
      if (!present) {
        value->setFlags(Qt::ItemIsSelectable);
        name->setFlags(Qt::ItemIsSelectable);
        value->setToolTip("not in the frame while the multiplexer has another value");
      }
      TableSignals->setItem(row, ColSignal, name);
      TableSignals->setItem(row, ColValue, value);
      TableSignals->setItem(row, ColUnit, unit);
      ++row;
    }
  }
  FFilling = false;
}

// A value typed for a signal goes into the data bytes (nearest raw value,
// within the signal's range), the data growing to the message's length;
// the page then shows what the bytes now hold.
void TFormEditMsg::SignalEdited(QTableWidgetItem *item) {
  const TDbcMessage *m = TypedMessage();
  if (FFilling || !m || item->column() != ColValue || item->row() >= static_cast<int>(m->Signals.size()))
    return;
  const TSignal &s = m->Signals[static_cast<size_t>(item->row())];
  const QString text = item->text().trimmed();
  bool ok = false;
  double physical = text.toDouble(&ok);
  for (const auto &[raw, meaning] : s.Values)
    if (!ok && text.compare(QString::fromStdString(meaning), Qt::CaseInsensitive) == 0) {
      physical = static_cast<double>(raw) * s.Factor + s.Offset;
      ok = true;
    }
  if (ok && std::isfinite(physical)) {
    uint8_t data[8];
    const int length = std::max(TypedData(data), std::min(m->Length, 8));
    PutRawBits(s, RawFromPhysical(s, physical), data);
    for (int k = 0; k < length; ++k)
      DataEdits[k]->setText(QString("%1").arg(data[k], 2, 16, QChar('0')).toUpper());
  } else {
    QApplication::beep();
  }
  // Deferred: the table is refilled after the edit that changed the item
  // has finished with it.
  QMetaObject::invokeMethod(this, &TFormEditMsg::ShowSignals, Qt::QueuedConnection);
}

bool TFormEditMsg::eventFilter(QObject *watched, QEvent *event) {
  if (event->type() == QEvent::KeyRelease)
    FormKeyUp();
  return QDialog::eventFilter(watched, event);
}

// Two digits typed into a data edit move on to the next byte; over edits
// already full, on to OK.
void TFormEditMsg::FormKeyUp() {
  // The dialog's own focus widget: the edit that has the input focus within
  // the dialog, also while the window system has not yet activated it.
  for (int k = 0; k < 8; ++k) {
    QLineEdit *e = DataEdits[k];
    if (focusWidget() == e && e->text().size() >= 2) {
      if (k < 7)
        DataEdits[k + 1]->setFocus();
      else
        BitBtnOk->setFocus();
    }
  }
}

bool TFormEditMsg::Run(TCanMessage &msg, int *cycleMs) {
  LabelCycle->setVisible(cycleMs != nullptr);
  SpinEditCycle->setVisible(cycleMs != nullptr);
  SpinEditCycle->setValue(cycleMs ? std::clamp(*cycleMs, 0, MaxCycleMs) : 0);
  if (exec() != QDialog::Accepted)
    return false;
  StoreMessage(msg);
  if (cycleMs) {
    SpinEditCycle->interpretText(); // a typed value is brought into range first
    *cycleMs = SpinEditCycle->value();
  }
  return true;
}

bool TFormEditMsg::NewMessage(TCanMessage &msg, int left, int top, int *cycleMs) {
  move(left, top);
  RadioStandard->setChecked(true);
  LabeledEditID->clear();
  TabbedNotebook1->setCurrentIndex(0);
  for (QLineEdit *e : DataEdits)
    e->clear();
  SpinEdit1->setValue(0);
  UpdateSignalPage();
  return Run(msg, cycleMs);
}

bool TFormEditMsg::EditMessage(TCanMessage &msg, int left, int top, int *cycleMs) {
  move(left, top);
  const bool extended = IsExtended(msg);
  (extended ? RadioExtended : RadioStandard)->setChecked(true);
  LabeledEditID->setText(QString("%1").arg(msg.ID, extended ? 5 : 3, 16, QChar('0')).toUpper());
  for (QLineEdit *e : DataEdits)
    e->clear();
  const int dlc = std::min<int>(msg.DLC, 8);
  for (int k = 0; k < dlc; ++k)
    DataEdits[k]->setText(QString("%1").arg(msg.Data[k], 2, 16, QChar('0')).toUpper());
  SpinEdit1->setValue(dlc);
  TabbedNotebook1->setCurrentIndex(IsRemote(msg) ? PageRemote : PageData);
  UpdateSignalPage();
  return Run(msg, cycleMs);
}

void TFormEditMsg::StoreMessage(TCanMessage &msg) {
  const bool extended = RadioExtended->isChecked();
  msg.IDType = extended ? 4 : 0;
  msg.ID = MaskId(HexToInt(LabeledEditID->text()), extended);
  if (TabbedNotebook1->currentIndex() != PageRemote) {
    msg.RTR = 0;
    msg.DLC = 0;
    for (int k = 0; k < 8; ++k) {
      const QString t = DataEdits[k]->text();
      if (t.isEmpty())
        break;
      msg.Data[k] = static_cast<uint8_t>(HexToInt(t));
      msg.DLC = static_cast<uint8_t>(k + 1);
    }
  } else {
    msg.RTR = 2;
    std::memset(msg.Data, 0, sizeof msg.Data);
    SpinEdit1->interpretText(); // a typed value is brought into 0..8 first
    msg.DLC = static_cast<uint8_t>(std::clamp(SpinEdit1->value(), 0, 8));
  }
}
