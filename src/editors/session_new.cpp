#include "editors/session_new.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "editors/printer_dialog.h"
#include "editors/proxy_dialog.h"

namespace netvane::editors {
namespace {

// The pages, in the order of the stack.
enum Page : int { kNamePage, kKindPage, kAdslPage, kProgramPage, kTcpIpPage, kFinishPage };

// Stands for the ADSL kinds until the modem page names one; never saved.
constexpr char kKindChosenNext[] = "NEXT";

// Where Next leads from the kind page.
int PageAfterKind(ConnectionKind kind) {
  switch (kind) {
    case ConnectionKind::kStaticIp:
      return kTcpIpPage;
    case ConnectionKind::kAdsl:
      return kAdslPage;
    case ConnectionKind::kKtAdsl:
      return kProgramPage;
    case ConnectionKind::kDhcp:
    case ConnectionKind::kCableModem:
      break;
  }
  return kFinishPage;
}

// A plain drawing for the launch-program page.
QPixmap LaunchPicture() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(40, 110, 190));
  p.setPen(Qt::NoPen);
  p.drawEllipse(4, 4, 56, 56);
  p.setPen(QPen(Qt::white, 3));
  p.drawLine(20, 32, 44, 32);
  p.drawLine(34, 22, 44, 32);
  p.drawLine(34, 42, 44, 32);
  return pixmap;
}

}  // namespace

frmSessionNew::frmSessionNew(EditorServices& services, QWidget* parent)
    : LocationDialog(services, parent) {
  setObjectName(QStringLiteral("frmSessionNew"));
  setWindowTitle(QStringLiteral("Netvane 2.0 - New Location"));
  location_.LocationId = 0;
  auto* layout = new QVBoxLayout(this);
  stack_ = new QStackedWidget(this);
  layout->addWidget(stack_);
  pages_ = {BuildNamePage(),    BuildKindPage(),  BuildAdslPage(),
            BuildProgramPage(), BuildTcpIpPage(), BuildFinishPage()};
  for (size_t i = 0; i < pages_.size(); ++i) {
    pages_[i]->setObjectName(QStringLiteral("pnlStep(%1)").arg(i));
    stack_->addWidget(pages_[i]);
  }
  layout->addLayout(BuildButtons());

  // Enter in these acts as Next.
  for (QRadioButton* option : kinds_->options()) option->installEventFilter(this);
  for (QRadioButton* option : adsl_->options()) option->installEventFilter(this);
  name_->installEventFilter(this);
  txtProgramName()->installEventFilter(this);
  SelectAllOnFocus(name_);
  SelectAllOnFocus(txtProgramName());
  NoDefaultButtons(this);
  SetTabOrder();

  // Opening: page 0, no way back yet.
  step_ = kNamePage;
  stack_->setCurrentWidget(pages_[kNamePage]);
  prev_->setEnabled(false);
  FillNicCombo(nic_, s_.state.AdapterTable);
}

QWidget* frmSessionNew::BuildNamePage() {
  auto* page = new QWidget(stack_);
  auto* l = new QVBoxLayout(page);
  l->addWidget(NewLabel(page, "Label6", QStringLiteral("Input location name.")));
  NewNameAndAdapter(page);
  l->addWidget(name_);
  l->addWidget(
      NewLabel(page, "Label15", QStringLiteral("Select LAN adapter for current location.")));
  l->addWidget(nic_);
  l->addStretch();
  return page;
}

QWidget* frmSessionNew::BuildKindPage() {
  auto* page =
      new KindPage(stack_, QStringLiteral("Choose the way  how to set TCP/IP properties. "),
                   QString::fromUtf8("한통 ADSL 방식"));
  kinds_ = page->kinds();
  kinds_->option(ConnectionKind::kStaticIp)->setChecked(true);
  return page;
}

QWidget* frmSessionNew::BuildAdslPage() {
  auto* page = new QWidget(stack_);
  auto* l = new QVBoxLayout(page);
  l->addWidget(NewLabel(page, "Label1", QStringLiteral("Select your ADSL service type.")));
  adsl_ = NewAdslOptions(page);
  l->addWidget(adsl_);
  l->addStretch();
  return page;
}

QWidget* frmSessionNew::BuildProgramPage() {
  auto* page = new QWidget(stack_);
  auto* l = new QGridLayout(page);
  l->addWidget(
      NewLabel(page, "Label11", QStringLiteral("Select a launch program to connect Internet. ")), 0,
      0);
  program_ = new ProgramPath(page, s_.files);
  l->addWidget(program_, 1, 0);
  auto* picture = new QLabel(page);
  picture->setObjectName(QStringLiteral("imgLaunch"));
  picture->setPixmap(LaunchPicture());
  l->addWidget(picture, 2, 0, Qt::AlignCenter);
  l->setRowStretch(3, 1);
  return page;
}

QWidget* frmSessionNew::BuildTcpIpPage() {
  tcp_ip_ = new TcpIpPage(stack_, QStringLiteral("Set TCP/IP Properties."), 4);
  return tcp_ip_;
}

QWidget* frmSessionNew::BuildFinishPage() {
  auto* page = new QWidget(stack_);
  auto* l = new QVBoxLayout(page);
  auto* frame = new QGroupBox(QStringLiteral("Miscellaneous"), page);
  frame->setObjectName(QStringLiteral("SSFrame1"));
  auto* g = new QGridLayout(frame);
  proxy_ = NewButton(frame, "cmdProxy", QStringLiteral("Proxy Settings"));
  g->addWidget(proxy_, 0, 0);
  g->addWidget(NewLabel(frame, "Label10",
                        QStringLiteral("- If you want to set proxy server, press this botton.")),
               0, 1);
  printer_ = NewButton(frame, "cmdPrinter", QStringLiteral("Printer Settings"));
  g->addWidget(printer_, 1, 0);
  g->addWidget(
      NewLabel(frame, "Label14",
               QStringLiteral("- If you want to set default printer, press this button. ")),
      1, 1);
  g->addWidget(NewRecognisedBox(frame), 2, 0, 1, 2);
  l->addWidget(frame);
  l->addWidget(NewLabel(page, "Label13(0)",
                        QStringLiteral("New location settings were successfully completed!! ")));
  l->addWidget(
      NewLabel(page, "Label13(1)",
               QStringLiteral("Press OK button to save and finish new location settings.")));
  l->addStretch();

  connect(proxy_, &QPushButton::clicked, this, [this] {
    frmProxy dialog(s_.state, s_.prompt, this);
    s_.dialogs.Run(dialog);
  });
  connect(printer_, &QPushButton::clicked, this, [this] {
    frmPrinter dialog(s_.state, s_.printers, this);
    s_.dialogs.Run(dialog);
  });
  return page;
}

QLayout* frmSessionNew::BuildButtons() {
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  prev_ = NewButton(this, "cmdPrev", QStringLiteral("<< Previous"));
  next_ = NewButton(this, "cmdNext", QStringLiteral("Next >>"));
  cancel_ = NewButton(this, "cmdCancel", QStringLiteral("Cancel"));
  buttons->addWidget(prev_);
  buttons->addWidget(next_);
  buttons->addWidget(cancel_);
  connect(next_, &QPushButton::clicked, this, &frmSessionNew::NextClicked);
  connect(prev_, &QPushButton::clicked, this, &frmSessionNew::PrevClicked);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  return buttons;
}

void frmSessionNew::SetTabOrder() {
  std::vector<QWidget*> order = {name_, nic_};
  order.insert(order.end(), kinds_->options().begin(), kinds_->options().end());
  order.insert(order.end(), adsl_->options().begin(), adsl_->options().end());
  for (QWidget* w : program_->TabChain()) order.push_back(w);
  for (QWidget* w : tcp_ip_->TabChain()) order.push_back(w);
  order.insert(order.end(), {proxy_, printer_, recognised_, prev_, next_, cancel_});
  SetTabChain(order);
}

void frmSessionNew::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (first_activate_) {
    first_activate_ = false;
    stack_->setCurrentWidget(pages_[kNamePage]);
    name_->setFocus();
  }
}

bool frmSessionNew::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      NextClicked();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool frmSessionNew::PassPage0(int* target) {
  if (!ReadName(std::nullopt, "The location name is already in use.\r\nInput new location name.",
                PromptIcon::kNone)) {
    return false;
  }
  if (nic_->currentText().isEmpty()) {
    return Fail("Select LAN adapter for current location.", PromptIcon::kNone, nic_);
  }
  AdapterFromCombo(nic_, &location_.NIC_ID, &location_.NIC_NAME);
  *target = kKindPage;
  return true;
}

bool frmSessionNew::PassPage1(int* target) {
  for (int i = 0; i < kConnectionKinds; ++i) {
    if (!optStep1(i)->isChecked()) continue;
    const auto kind = static_cast<ConnectionKind>(i);
    location_.ServiceType = kind == ConnectionKind::kAdsl
                                ? std::string(kKindChosenNext)
                                : ServiceTypeFor(kind, AdslType::kInModem);
    *target = PageAfterKind(kind);
  }
  location_.ExecutePath.clear();
  return true;
}

bool frmSessionNew::PassPage2(int* target) {
  for (int i = 0; i < kAdslTypes; ++i) {
    if (optStep2(i)->isChecked()) {
      location_.ServiceType = ServiceTypeFor(ConnectionKind::kAdsl, static_cast<AdslType>(i));
    }
  }
  *target = kProgramPage;
  return true;
}

bool frmSessionNew::PassPage3(int* target) {
  if (!ReadProgram("Invalid a launch program. Please,Check it again.")) return false;
  *target = location_.ServiceType == store::kUseHanaroOutPppModem ? kTcpIpPage : kFinishPage;
  return true;
}

bool frmSessionNew::PassPage4(int* target) {
  if (!ReadTcpIp("Invalid Subnet Mask address. Please, check!")) return false;
  *target = kFinishPage;
  return true;
}

void frmSessionNew::NextClicked() {
  int target = step_;
  bool passed = false;
  switch (step_) {
    case kNamePage:
      passed = PassPage0(&target);
      break;
    case kKindPage:
      passed = PassPage1(&target);
      break;
    case kAdslPage:
      passed = PassPage2(&target);
      break;
    case kProgramPage:
      passed = PassPage3(&target);
      break;
    case kTcpIpPage:
      passed = PassPage4(&target);
      break;
    default:
      Finish();
      return;
  }
  if (!passed) return;
  stack_->setCurrentWidget(pages_[static_cast<size_t>(target)]);
  step_ = target;
  if (target != kNamePage) prev_->setEnabled(true);
  if (target == kFinishPage) next_->setText(QStringLiteral("OK"));
}

void frmSessionNew::PrevClicked() {
  const std::string& kind = location_.ServiceType;
  int target = step_;
  switch (step_) {
    case kKindPage:
      target = kNamePage;
      break;
    case kAdslPage:
      target = kKindPage;
      break;
    case kProgramPage:
      target = kind == store::kUseKtAdsl ? kKindPage : kAdslPage;
      break;
    case kTcpIpPage:
      target = kind == store::kUseHanaroOutPppModem ? kProgramPage : kKindPage;
      break;
    case kFinishPage:
      if (kind == store::kUseDhcp || kind == store::kUseCableModem)
        target = kKindPage;
      else if (store::CarriesTcpIp(kind))
        target = kTcpIpPage;
      else
        target = kProgramPage;
      break;
    default:
      return;
  }
  step_ = target;
  next_->setText(QStringLiteral("Next >>"));
  if (target == kNamePage) prev_->setEnabled(false);
  stack_->setCurrentWidget(pages_[static_cast<size_t>(target)]);
}

int16_t frmSessionNew::NewLocationId() {
  if (s_.state.HighestLocationId < 32767) return ++s_.state.HighestLocationId;
  // Past the largest id, the lowest one nobody uses.
  for (int id = 1; id <= 32767; ++id) {
    if (store::FindLocationIndex(s_.state.LocationTable, static_cast<int16_t>(id)) < 0) {
      return static_cast<int16_t>(id);
    }
  }
  return 0;
}

void frmSessionNew::Finish() {
  engine::AppState& state = s_.state;
  location_.UseProxy = state.PendingProxySet;
  location_.UseIEProxy = state.PendingProxySet;
  if (state.PendingProxySet) location_.IEProxy = state.PendingProxy;
  location_.IENC_SameProxy = false;
  location_.UseNCProxy = false;
  location_.UseWinNetwork = state.PendingPrinterSet;
  location_.DefaultPrinter = state.PendingPrinterSet ? state.PendingPrinterName : std::string();
  location_.Lease = state.settings.NextLease;
  location_.SessionActive = false;
  location_.ApplyWhenRecognised = recognised_->isChecked();
  // A new location has not been applied anywhere yet.
  location_.Network = store::NetworkPrint{};

  const int16_t id = NewLocationId();
  location_.LocationId = id;
  if (id == 0 || !s_.locations.SaveLocation(id, location_)) {
    s_.prompt.Show("Error in Saving current location data.", PromptIcon::kNone, PromptButtons::kOk);
    return;
  }
  state.PendingProxySet = false;
  state.PendingProxy = store::ProxySettings{};
  state.PendingPrinterSet = false;
  state.PendingPrinterName.clear();
  s_.locations.LoadLocations(state.LocationTable);
  s_.settings.CountDownNextLease(state.settings);
  accept();
}

}  // namespace netvane::editors
