#include "editors/printer_dialog.h"

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>
#include <memory>

namespace {

using netvane::editors::frmPrinter;

class FakePrinters : public netvane::editors::PrinterList {
 public:
  QStringList InstalledPrinters() override { return names; }
  QStringList names;
};

class PrinterDialogTest : public ::testing::Test {
 protected:
  PrinterDialogTest() { printers_.names = {"Alpha", "Beta", "Gamma"}; }

  std::unique_ptr<frmPrinter> Open() {
    auto dialog = std::make_unique<frmPrinter>(state_, printers_);
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    return dialog;
  }

  static QTreeWidgetItem* Row(const frmPrinter& d, int i) {
    return d.lstPrinter()->topLevelItem(i);
  }

  // The ticked rows' texts, top to bottom.
  static QStringList Ticked(const frmPrinter& d) {
    QStringList out;
    for (int i = 0; i < d.lstPrinter()->topLevelItemCount(); ++i) {
      if (Row(d, i)->checkState(0) == Qt::Checked) out << Row(d, i)->text(0);
    }
    return out;
  }

  static QStringList Selected(const frmPrinter& d) {
    QStringList out;
    for (const QTreeWidgetItem* item : d.lstPrinter()->selectedItems()) out << item->text(0);
    return out;
  }

  // Clicks the row's tick box, where the list's own delegate looks for it.
  static void ClickTick(frmPrinter& d, int i) {
    QTreeWidget* list = d.lstPrinter();
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualItemRect(Row(d, i));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = Row(d, i)->text(0);
    const QRect tick =
        list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, tick.center());
  }

  static void DoubleClickRow(frmPrinter& d, int i) {
    QTreeWidget* list = d.lstPrinter();
    const QPoint centre = list->visualItemRect(Row(d, i)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
  }

  netvane::engine::AppState state_;
  FakePrinters printers_;
};

TEST_F(PrinterDialogTest, ListsPrintersInOrderAsCheckableRowsUnderOneColumn) {
  auto d = Open();
  EXPECT_EQ(d->windowTitle(), "Netvane 2.0 - Printer Settings");
  auto* label = d->findChild<QLabel*>("Label3");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Choose  printer driver for current location.");
  EXPECT_EQ(d->findChild<QTreeWidget*>("lstPrinter"), d->lstPrinter());
  EXPECT_EQ(d->findChild<QPushButton*>("cmdOK")->text(), "OK");
  EXPECT_EQ(d->findChild<QPushButton*>("cmdCancel")->text(), "Cancel");

  QTreeWidget* list = d->lstPrinter();
  EXPECT_EQ(list->columnCount(), 1);
  EXPECT_EQ(list->headerItem()->text(0), "Installed printer drivers");
  EXPECT_EQ(list->headerItem()->data(0, Qt::UserRole).toString(), "Printer_Name");
  ASSERT_EQ(list->topLevelItemCount(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Row(*d, i)->text(0), printers_.names[i]);
    EXPECT_EQ(Row(*d, i)->data(0, Qt::UserRole).toString(), printers_.names[i]);
    EXPECT_TRUE(Row(*d, i)->flags() & Qt::ItemIsUserCheckable);
  }
  EXPECT_TRUE(Ticked(*d).isEmpty());
  EXPECT_TRUE(Selected(*d).isEmpty());
  EXPECT_TRUE(d->SelectedPrinter().isEmpty());
}

TEST_F(PrinterDialogTest, NoPrintersGivesAnEmptyListAndOkLeavesNoChoice) {
  printers_.names.clear();
  auto d = Open();
  EXPECT_EQ(d->lstPrinter()->topLevelItemCount(), 0);
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  EXPECT_FALSE(state_.PendingPrinterSet);
  EXPECT_EQ(d->result(), QDialog::Accepted);
}

TEST_F(PrinterDialogTest, ReopeningShowsTheChosenPrinterTickedAndSelectedAndOkKeepsIt) {
  auto first = Open();
  ClickTick(*first, 1);
  QTest::mouseClick(first->cmdOK(), Qt::LeftButton);
  ASSERT_TRUE(state_.PendingPrinterSet);
  ASSERT_EQ(state_.PendingPrinterName, "Beta");

  auto d = Open();
  EXPECT_EQ(Ticked(*d), QStringList{"Beta"});
  EXPECT_EQ(Selected(*d), QStringList{"Beta"});
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  EXPECT_TRUE(state_.PendingPrinterSet);
  EXPECT_EQ(state_.PendingPrinterName, "Beta");
}

TEST_F(PrinterDialogTest, APendingNameMatchingNoPrinterExactlyTicksNothing) {
  state_.PendingPrinterSet = true;
  state_.PendingPrinterName = "beta";
  auto d = Open();
  EXPECT_TRUE(Ticked(*d).isEmpty());
  EXPECT_TRUE(Selected(*d).isEmpty());
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  EXPECT_FALSE(state_.PendingPrinterSet);
  EXPECT_EQ(state_.PendingPrinterName, "beta");
}

TEST_F(PrinterDialogTest, TickingOneRowUnticksTheOthers) {
  auto d = Open();
  ClickTick(*d, 0);
  EXPECT_EQ(Ticked(*d), QStringList{"Alpha"});
  EXPECT_EQ(d->SelectedPrinter(), "Alpha");
  ClickTick(*d, 2);
  EXPECT_EQ(Ticked(*d), QStringList{"Gamma"});
  EXPECT_EQ(d->SelectedPrinter(), "Gamma");
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  EXPECT_TRUE(state_.PendingPrinterSet);
  EXPECT_EQ(state_.PendingPrinterName, "Gamma");
}

TEST_F(PrinterDialogTest, UntickingTheOnlyTickedRowLeavesNoChoiceOnOk) {
  state_.PendingPrinterSet = true;
  state_.PendingPrinterName = "Beta";
  auto d = Open();
  ASSERT_TRUE(d->SelectedPrinter().isEmpty());
  ClickTick(*d, 1);
  EXPECT_TRUE(Ticked(*d).isEmpty());
  EXPECT_EQ(d->SelectedPrinter(), "Beta");
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  EXPECT_FALSE(state_.PendingPrinterSet);
  EXPECT_EQ(state_.PendingPrinterName, "Beta");
}

TEST_F(PrinterDialogTest, DoubleClickTicksThatRowOnly) {
  state_.PendingPrinterSet = true;
  state_.PendingPrinterName = "Alpha";
  auto d = Open();
  ASSERT_EQ(Ticked(*d), QStringList{"Alpha"});
  DoubleClickRow(*d, 2);
  EXPECT_EQ(Ticked(*d), QStringList{"Gamma"});
  EXPECT_EQ(d->SelectedPrinter(), "Gamma");
  DoubleClickRow(*d, 2);  // ticks again, never toggles off
  EXPECT_EQ(Ticked(*d), QStringList{"Gamma"});
  QTest::mouseClick(d->cmdOK(), Qt::LeftButton);
  EXPECT_TRUE(state_.PendingPrinterSet);
  EXPECT_EQ(state_.PendingPrinterName, "Gamma");
}

TEST_F(PrinterDialogTest, CancelRemovesAnEarlierChoice) {
  state_.PendingPrinterSet = true;
  state_.PendingPrinterName = "Beta";
  auto d = Open();
  ClickTick(*d, 0);
  QTest::mouseClick(d->cmdCancel(), Qt::LeftButton);
  EXPECT_FALSE(state_.PendingPrinterSet);
  EXPECT_EQ(state_.PendingPrinterName, "");
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_FALSE(d->isVisible());
}

}  // namespace
