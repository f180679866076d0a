// frmSessionModify: the property editor of one stored location, its values spread over five
// tabs. OK and Apply check every tab in a fixed order and save the location in place with a
// fresh Lease stamp; OK then closes.
#pragma once

#include <array>

#include "editors/location_dialog.h"

class QCheckBox;
class QLayout;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace netvane::editors {

class frmSessionModify : public LocationDialog {
  Q_OBJECT

 public:
  explicit frmSessionModify(EditorServices& services, QWidget* parent = nullptr);

  // The location being edited, set by the caller before the window loads.
  int16_t SelectedSessionID = 0;

  // Fills the window from the location; false (and the window closes) when the location is
  // not in the location table. Showing the window loads it when nobody did.
  bool Load();
  // OK and Apply: check, then save in place; true when saved.
  bool SaveEditedLocation();
  // The checks of every tab, building the record; false at the first failure, whose message
  // has been shown with its tab selected and its control focused.
  bool CollectLocation();

  int m_KindIndex() const { return static_cast<int>(kind_); }
  int m_AdslIndex() const { return static_cast<int>(adsl_type_); }

  QTabWidget* tabSession() const { return tabs_; }
  QTreeWidget* lstPrinter() const { return printers_; }
  QCheckBox* chkExpAll() const { return all_; }
  QCheckBox* chkExpNotUse() const { return not_use_; }
  QLineEdit* txtExpKind(int i) const { return proxy_kind_[static_cast<size_t>(i)]; }
  QLineEdit* txtExpPort(int i) const { return proxy_port_[static_cast<size_t>(i)]; }
  QPushButton* cmdOK() const { return ok_; }
  QPushButton* cmdApply() const { return apply_; }
  QPushButton* cmdCancel() const { return cancel_; }

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void ShowPageOf(QWidget* control) override;

 private:
  // One builder a part: the name and adapter above the tabs, each tab, the buttons below.
  QLayout* BuildHead();
  QWidget* BuildGeneralTab();
  QWidget* BuildAdslTab();
  QWidget* BuildTcpIpTab();
  QWidget* BuildPrinterTab();
  QWidget* BuildProxyTab();
  QLayout* BuildButtons();
  void SetTabOrder();
  void KindClicked(ConnectionKind kind);
  void AdslClicked(AdslType type);
  void ExpAllClicked();
  void ExpNotUseClicked();
  void SetProxyRows(int first, int last, bool enabled);
  void LoadKind(const store::LocationRecord& r);
  void LoadProxy(const store::LocationRecord& r);
  void FillPrinters(const store::LocationRecord& r);
  void PrinterChecked(QTreeWidgetItem* item);
  void PrinterClicked();
  bool CollectProxy();
  bool CollectProxyRows(store::ProxySettings& p);
  void CollectPrinter();

  ConnectionKind kind_ = ConnectionKind::kDhcp;
  AdslType adsl_type_ = AdslType::kInModem;
  bool loaded_ = false;
  bool checking_ = false;  // the window itself is changing check marks
  // The row under the mouse when the button went down, and its mark then: a click that
  // changed the mark was on the tick box itself.
  QTreeWidgetItem* pressed_row_ = nullptr;
  Qt::CheckState pressed_mark_ = Qt::Unchecked;

  QTabWidget* tabs_ = nullptr;
  QTreeWidget* printers_ = nullptr;
  QCheckBox* all_ = nullptr;
  QCheckBox* not_use_ = nullptr;
  std::array<QLineEdit*, 5> proxy_kind_{};
  std::array<QLineEdit*, 5> proxy_port_{};
  QPushButton* ok_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

}  // namespace netvane::editors
