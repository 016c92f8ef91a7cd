// SPDX-License-Identifier: GPL-3.0-or-later
// The device configuration and filter dialogs, and what reaches the adapter
// after them.

#include "GuiHelpers.h"
#include "comm/UnitComm.h"
#include "config/UnitDeviceConfig.h"
#include "config/UnitFilter.h"
#include "dialogs/LimitedEdit.h"
#include "mainwindow/UnitMain.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

std::vector<std::string> WithPrefix(const char *prefix) {
  std::vector<std::string> r;
  for (const auto &s : Requests())
    if (s.rfind(prefix, 0) == 0)
      r.push_back(s);
  return r;
}

using DeviceConfigDialog = GuiTest;

// Disconnected, the bit rate and the filters are set before the adapter
// joins the bus: nothing reaches any adapter until the next connection,
// which sends what OK kept.
TEST_F(DeviceConfigDialog, DisconnectedTheDialogsKeepTheirValuesForTheNextConnection) {
  sim_add_adapter("A1");
  ModalDriver d;
  d.Then([](QWidget *) {
    for (int i = 0; i < 6; ++i)
      QTest::keyClick(FormDeviceConfig->ComboBoxSpeed, Qt::Key_Down);
    QTest::mouseClick(FormDeviceConfig->BitBtnOk, Qt::LeftButton);
  });
  d.Then([](QWidget *) {
    QTest::mouseClick(FormFilter->CheckBoxActive, Qt::LeftButton);
    QTest::mouseClick(FormFilter->BitBtnOk, Qt::LeftButton);
  });
  qsizetype opened = 0;
  for (Qt::Key key : {Qt::Key_S, Qt::Key_R}) {
    FormMain->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FormMain));
    Settle();
    // A button's mnemonic clicks it a moment later.
    QTest::keyClick(FormMain, key, Qt::AltModifier);
    ++opened;
    ASSERT_TRUE(WaitUntil([&] { return d.Seen.size() == opened && !QApplication::activeModalWidget(); }));
  }
  EXPECT_EQ(d.Seen, (QStringList{"FormDeviceConfig", "FormFilter"}));
  EXPECT_EQ(FormMain->DevConfig().Speed, 6);
  EXPECT_EQ(FormMain->Filters()[0].Active, 1);
  EXPECT_EQ(sim_trace_count(), 0);
  Connect();
  ASSERT_TRUE(WaitUntil([] { return WithPrefix("11 05").size() == 14; }));
  EXPECT_EQ(WithPrefix("01 04"), std::vector<std::string>{"01 04 06 01 01 00 00 00"});
  EXPECT_EQ(WithPrefix("11 05")[0].substr(0, 23), "11 05 00 00 00 00 01 00");
}

TEST_F(DeviceConfigDialog, EntriesAndCancel) {
  ASSERT_EQ(FormDeviceConfig->ComboBoxSpeed->count(), 8);
  QStringList items;
  for (int i = 0; i < 8; ++i)
    items << FormDeviceConfig->ComboBoxSpeed->itemText(i);
  EXPECT_EQ(items, (QStringList{"10kBit/s", "20kBit/s", "50kBit/s", "100kBit/s", "125kBit/s", "250kBit/s",
                                "500kBit/s", "1MBit/s"}));
  sim_add_adapter("A1");
  Connect();
  sim_trace_clear();
  ModalDriver d;
  d.Then([](QWidget *) {
    FormDeviceConfig->ComboBoxSpeed->setCurrentIndex(1);
    FormDeviceConfig->CheckBoxLoopBackMode->setChecked(true);
    QTest::keyClick(FormDeviceConfig, Qt::Key_Escape);
  });
  FormMain->SpeedButtonSetupClick();
  EXPECT_EQ(FormMain->DevConfig().Speed, 0);
  EXPECT_EQ(FormMain->DevConfig().LoopbackMode, 0);
  Settle();
  EXPECT_TRUE(WithPrefix("01 04").empty());
}

TEST_F(DeviceConfigDialog, OkSendsTheBlockEvenUnchangedAndNormalisesSwitches) {
  FormMain->DevConfig().Termination = 2; // as a hand-edited file may hold
  sim_add_adapter("A1");
  Connect();
  sim_trace_clear();
  ModalDriver d;
  bool ticked = false;
  d.Then([&](QWidget *) {
    ticked = FormDeviceConfig->CheckBoxTermination->isChecked();
    FormDeviceConfig->BitBtnOk->click();
  });
  FormMain->SpeedButtonSetupClick();
  EXPECT_TRUE(ticked);
  EXPECT_EQ(FormMain->DevConfig().Termination, 1);
  ASSERT_TRUE(WaitUntil([] { return !WithPrefix("01 04").empty(); }));
  EXPECT_EQ(WithPrefix("01 04"), std::vector<std::string>{"01 04 00 01 01 00 00 00"});
  d.Then([&](QWidget *) {
    FormDeviceConfig->ComboBoxSpeed->setCurrentIndex(7);
    FormDeviceConfig->CheckBoxRetransmission->setChecked(false);
    FormDeviceConfig->BitBtnOk->click();
  });
  FormMain->SpeedButtonSetupClick();
  ASSERT_TRUE(WaitUntil([] { return WithPrefix("01 04").size() == 2; }));
  EXPECT_EQ(WithPrefix("01 04")[1], "01 04 07 01 00 00 00 00");
}

// Every switch with a value of its own, twice in a row: a box that shows (or
// stores) a sibling's field changes what the adapter does on OK.
TEST_F(DeviceConfigDialog, EachBoxShowsAndStoresItsOwnFieldTwiceInARow) {
  sim_add_adapter("A1");
  Connect();
  sim_trace_clear();
  struct Case {
    TDeviceConfig block;
    const char *sent;
  };
  const Case cases[] = {{{0, 5, 1, 0, 1, {}}, "01 04 05 01 00 01 00 00"}, {{0, 2, 0, 1, 0, {}}, "01 04 02 00 01 00 00 00"}};
  for (const Case &c : cases) {
    FormMain->DevConfig() = c.block;
    ModalDriver d;
    bool shown[3] = {};
    d.Then([&](QWidget *) {
      shown[0] = FormDeviceConfig->CheckBoxTermination->isChecked();
      shown[1] = FormDeviceConfig->CheckBoxRetransmission->isChecked();
      shown[2] = FormDeviceConfig->CheckBoxLoopBackMode->isChecked();
      FormDeviceConfig->BitBtnOk->click();
    });
    const size_t before = WithPrefix("01 04").size();
    FormMain->SpeedButtonSetupClick();
    EXPECT_EQ(shown[0], c.block.Termination != 0);
    EXPECT_EQ(shown[1], c.block.Retransmission != 0);
    EXPECT_EQ(shown[2], c.block.LoopbackMode != 0);
    ASSERT_TRUE(WaitUntil([&] { return WithPrefix("01 04").size() == before + 1; }));
    EXPECT_EQ(WithPrefix("01 04").back(), c.sent);
  }
}

TEST_F(DeviceConfigDialog, SpeedOutsideTheListIsKeptByCancelAndByOkWithoutAChoice) {
  FormMain->DevConfig().Speed = 44;
  sim_add_adapter("A1");
  Connect();
  ModalDriver d;
  int shown = 0;
  d.Then([&](QWidget *) {
    shown = FormDeviceConfig->ComboBoxSpeed->currentIndex();
    FormDeviceConfig->BitBtnCancel->click();
  });
  FormMain->SpeedButtonSetupClick();
  EXPECT_EQ(shown, -1);
  EXPECT_EQ(FormMain->DevConfig().Speed, 44);
  d.Then(ClickChild("BitBtnOk"));
  FormMain->SpeedButtonSetupClick();
  EXPECT_EQ(FormMain->DevConfig().Speed, 44);
}

class FilterDialog : public GuiTest {
protected:
  void SetUp() override {
    GuiTest::SetUp();
    sim_add_adapter("A1");
    Connect();
    sim_trace_clear();
  }
  // As a user chooses: the list opens, the keys move to the entry, Return
  // chooses it and closes the list.
  void ChooseMode(int index) {
    QComboBox *c = FormFilter->ComboBoxMode;
    c->showPopup();
    QTest::keyClick(c->view(), Qt::Key_Home);
    for (int i = 0; i < index; ++i)
      QTest::keyClick(c->view(), Qt::Key_Down);
    QTest::keyClick(c->view(), Qt::Key_Return);
    Settle();
  }
  void SelectTab(int index) { FormFilter->TabControl1->Tab(index)->click(); }
};

TEST_F(FilterDialog, TabsKeepEditsAndOkSendsAllFourteenBanks) {
  ModalDriver d;
  d.Then([&](QWidget *) {
    EXPECT_EQ(FormFilter->windowTitle(), "Filter Settings");
    SelectTab(2);
    FormFilter->CheckBoxActive->setChecked(true);
    FormFilter->ComboBoxIDType->setCurrentIndex(1);
    FormFilter->LabeledEdit1->setText("1AB");
    FormFilter->LabeledEdit2->setText("FFF");
    SelectTab(5);
    EXPECT_FALSE(FormFilter->CheckBoxActive->isChecked());
    SelectTab(2);
    EXPECT_TRUE(FormFilter->CheckBoxActive->isChecked());
    EXPECT_EQ(FormFilter->LabeledEdit1->text(), "1AB");
    EXPECT_EQ(FormFilter->ComboBoxIDType->currentText(), "Extended");
    FormFilter->BitBtnOk->click();
  });
  FormMain->SpeedButtonFilterClick();
  const TFilterBank &b = FormMain->Filters()[2];
  EXPECT_EQ(b.Active, 1);
  EXPECT_EQ(b.IDType, 4);
  EXPECT_EQ(b.ID, 0x1ABu);
  EXPECT_EQ(b.Mask, 0xFFFu);
  EXPECT_EQ(b.Bank, 2);
  ASSERT_TRUE(WaitUntil([] { return WithPrefix("11 05").size() == 14; }));
  auto banks = WithPrefix("11 05");
  EXPECT_EQ(banks[2], "11 05 00 00 04 02 01 00 AB 01 00 00 FF 0F 00 00");
  for (int i = 0; i < 14; ++i)
    EXPECT_EQ(std::stoi(banks[i].substr(15, 2), nullptr, 16), i);
}

TEST_F(FilterDialog, ModeChangesLabelsAndNormalisesTheValues) {
  ModalDriver d;
  QString l1, l2, shown;
  d.Then([&](QWidget *) {
    EXPECT_EQ(FormFilter->LabelEdit1->text(), "Identifier (hex)");
    EXPECT_EQ(FormFilter->LabelEdit2->text(), "Mask (hex)");
    FormFilter->LabeledEdit1->setText("00a");
    ChooseMode(1);
    l1 = FormFilter->LabelEdit1->text();
    l2 = FormFilter->LabelEdit2->text();
    shown = FormFilter->LabeledEdit1->text();
    ChooseMode(0);
    EXPECT_EQ(FormFilter->LabelEdit1->text(), "Identifier (hex)");
    ChooseMode(1);
    FormFilter->BitBtnOk->click();
  });
  FormMain->SpeedButtonFilterClick();
  EXPECT_EQ(l1, "1. Identifier (hex)");
  EXPECT_EQ(l2, "2. Identifier (hex)");
  EXPECT_EQ(shown, "A");
  EXPECT_EQ(FormMain->Filters()[0].Mode, 1);
}

TEST_F(FilterDialog, CancelDropsEverythingIncludingDefaults) {
  FormMain->Filters()[4].Active = 1;
  ModalDriver d;
  d.Then([&](QWidget *) {
    FormFilter->BitBtnDefault->click();
    FormFilter->LabeledEdit1->setText("7");
    QTest::keyClick(FormFilter, Qt::Key_Escape);
  });
  FormMain->SpeedButtonFilterClick();
  EXPECT_EQ(FormMain->Filters()[4].Active, 1);
  EXPECT_EQ(FormMain->Filters()[0].ID, 0u);
  Settle();
  EXPECT_TRUE(WithPrefix("11 05").empty());
}

TEST_F(FilterDialog, SetToDefaultThenOkSendsTheDefaultTable) {
  for (auto &f : FormMain->Filters()) {
    f.Active = 1;
    f.IDType = 4;
    f.Mode = 1;
    f.ID = 5;
    f.Mask = 6;
  }
  ModalDriver d;
  int tab = -1;
  d.Then([&](QWidget *) {
    SelectTab(9);
    FormFilter->BitBtnDefault->click();
    tab = FormFilter->TabControl1->TabIndex();
    FormFilter->BitBtnOk->click();
  });
  FormMain->SpeedButtonFilterClick();
  EXPECT_EQ(tab, 0);
  ASSERT_TRUE(WaitUntil([] { return WithPrefix("11 05").size() == 14; }));
  auto banks = WithPrefix("11 05");
  for (int i = 0; i < 14; ++i) {
    char b[64];
    std::snprintf(b, sizeof b, "11 05 00 00 00 %02X %02X 00 00 00 00 00 00 00 00 00", i, i == 0 ? 1 : 0);
    EXPECT_EQ(banks[i], b);
  }
}

TEST_F(FilterDialog, UnknownModeShowsNoEntryAndIsKept) {
  FormMain->Filters()[0].Mode = 7;
  ModalDriver d;
  int mode = 0;
  QString label;
  d.Then([&](QWidget *) {
    mode = FormFilter->ComboBoxMode->currentIndex();
    label = FormFilter->LabelEdit1->text();
    FormFilter->BitBtnOk->click();
  });
  FormMain->SpeedButtonFilterClick();
  EXPECT_EQ(mode, -1);
  EXPECT_EQ(label, "(hex)");
  EXPECT_EQ(FormMain->Filters()[0].Mode, 7);
}

TEST_F(FilterDialog, EditsTakeFiveTypedCharactersLongerStoredValuesStayWhole) {
  FormMain->Filters()[0].ID = 0x1FFFFFFF;
  ModalDriver d;
  QString shown;
  d.Then([&](QWidget *) {
    shown = FormFilter->LabeledEdit1->text();
    FormFilter->LabeledEdit2->clear();
    FormFilter->LabeledEdit2->setFocus();
    QTest::keyClicks(FormFilter->LabeledEdit2, "1234567");
    FormFilter->BitBtnOk->click();
  });
  FormMain->SpeedButtonFilterClick();
  EXPECT_EQ(shown, "1FFFFFFF");
  EXPECT_EQ(FormMain->Filters()[0].ID, 0x1FFFFFFFu);
  EXPECT_EQ(FormMain->Filters()[0].Mask, 0x12345u);
}

// After Cancel the focus goes to the tab strip, on its selected tab, then
// to the bank's controls; arrow keys move between the tabs.
TEST_F(FilterDialog, FocusOrderPassesThroughTheSelectedTab) {
  ModalDriver d;
  QStringList order;
  int tabAfterArrow = -1;
  // The dialog's own focus widget: the window system may not have made
  // the dialog the active window yet.
  d.Then([&](QWidget *) {
    SelectTab(4);
    FormFilter->BitBtnDefault->setFocus();
    for (int i = 0; i < 6; ++i) {
      order << FormFilter->focusWidget()->objectName();
      QTest::keyClick(FormFilter->focusWidget(), Qt::Key_Tab);
    }
    FormFilter->TabControl1->Tab(4)->setFocus();
    QTest::keyClick(FormFilter->TabControl1->Tab(4), Qt::Key_Right);
    tabAfterArrow = FormFilter->TabControl1->TabIndex();
    order << FormFilter->focusWidget()->objectName();
    FormFilter->BitBtnCancel->click();
  });
  FormMain->SpeedButtonFilterClick();
  EXPECT_EQ(order, (QStringList{"BitBtnDefault", "BitBtnOk", "BitBtnCancel", "Tab5", "CheckBoxActive",
                                "ComboBoxIDType", "Tab6"}));
  EXPECT_EQ(tabAfterArrow, 5);
}

TEST_F(FilterDialog, ReopensOnTheTabLastSelected) {
  ModalDriver d;
  d.Then([&](QWidget *) {
    SelectTab(12);
    FormFilter->BitBtnCancel->click();
  });
  FormMain->SpeedButtonFilterClick();
  int tab = -1, bank = -1;
  d.Then([&](QWidget *) {
    tab = FormFilter->TabControl1->TabIndex();
    bank = FormFilter->CurrentBank;
    FormFilter->BitBtnCancel->click();
  });
  FormMain->SpeedButtonFilterClick();
  EXPECT_EQ(tab, 12);
  EXPECT_EQ(bank, 12);
}

} // namespace
