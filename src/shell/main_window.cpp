#include "shell/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <functional>
#include <map>
#include <utility>

#include "editors/session_modify.h"
#include "editors/session_new.h"
#include "engine/load_all.h"
#include "engine/location_tree.h"
#include "platform/command_line.h"
#include "platform/platform_error.h"
#include "qt_common/controls.h"
#include "shell/recogniser.h"

namespace netvane::shell {
namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  paint(p);
  return QIcon(pixmap);
}

}  // namespace

QIcon TreeImage(int position) {
  switch (position) {
    case engine::kImageRoot:  // a screen
      return Draw([](QPainter& p) {
        p.setBrush(QColor(70, 90, 120));
        p.setPen(Qt::NoPen);
        p.drawRect(1, 2, 14, 10);
        p.setBrush(QColor(170, 210, 240));
        p.drawRect(3, 4, 10, 6);
        p.setBrush(QColor(70, 90, 120));
        p.drawRect(6, 12, 4, 2);
        p.drawRect(3, 14, 10, 1);
      });
    case engine::kImageAdapter:  // a network card
      return Draw([](QPainter& p) {
        p.setBrush(QColor(40, 130, 70));
        p.setPen(Qt::NoPen);
        p.drawRect(1, 4, 14, 8);
        p.setBrush(QColor(230, 190, 60));
        for (int x = 3; x < 14; x += 3) p.drawRect(x, 12, 2, 3);
      });
    case engine::kImageActiveLocation:  // a globe with a tick
      return Draw([](QPainter& p) {
        p.setBrush(QColor(40, 110, 190));
        p.setPen(Qt::NoPen);
        p.drawEllipse(1, 1, 12, 12);
        p.setPen(QPen(QColor(20, 160, 40), 2.5));
        p.drawLine(7, 11, 10, 14);
        p.drawLine(10, 14, 15, 7);
      });
    default:  // a globe
      return Draw([](QPainter& p) {
        p.setBrush(QColor(150, 170, 190));
        p.setPen(Qt::NoPen);
        p.drawEllipse(2, 2, 12, 12);
        p.setPen(QPen(Qt::white, 1));
        p.drawLine(2, 8, 14, 8);
        p.drawEllipse(5, 2, 6, 12);
      });
  }
}

QIcon ProgramIcon() {
  QIcon icon(QStringLiteral(":/netvane.png"));
  return icon.isNull() ? TreeImage(engine::kImageActiveLocation) : icon;
}

frmMain::frmMain(ShellServices& services, bool tray, QWidget* parent)
    : QWidget(parent),
      s_(services),
      editor_services_{services.state,    services.locations,      services.settings,
                       services.registry, services.platform.shell, services.prompt,
                       services.files,    services.printers,       services.dialogs},
      engine_(services.platform, services.registry, services.state, *this),
      command_(engine_, services.locations, services.state, *this),
      memory_(services.platform, services.registry, services.locations, services.state) {
  command_.memory = &memory_;
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Netvane 2.0"));
  setWindowIcon(ProgramIcon());
  BuildWindow();
  if (tray) {
    tray_ = new QSystemTrayIcon(ProgramIcon(), this);
    tray_->setToolTip(QStringLiteral("Netvane 2.0"));
    connect(tray_, &QSystemTrayIcon::messageClicked, this, &frmMain::OfferClicked);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
      if (r == QSystemTrayIcon::DoubleClick) TrayDoubleClicked();
      if (r == QSystemTrayIcon::Context) ShowTrayMenu(QCursor::pos());
    });
  }
}

frmMain::~frmMain() { StopWatchingSocket(); }

void frmMain::BuildWindow() {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildLocationFrame());
  layout->addLayout(BuildBottomRow());

  timer_ = new QTimer(this);
  timer_->setObjectName(QStringLiteral("Timer1"));
  connect(timer_, &QTimer::timeout, this, &frmMain::Timer1Tick);
  // A DHCP location's lease is looked for while its renew runs.
  memory_timer_ = new QTimer(this);
  connect(memory_timer_, &QTimer::timeout, this, [this] {
    if (!memory_.Tick()) memory_timer_->stop();
  });
  recogniser_ = new Recogniser(s_.platform.probe, s_.state, this);
  connect(recogniser_, &Recogniser::Recognised, this, &frmMain::NetworkRecognised);

  BuildTrayMenu();
  qt_common::NoDefaultButtons(this);
  ConnectCommands();
}

QGroupBox* frmMain::BuildLocationFrame() {
  frame_ = new QGroupBox(QStringLiteral("Location Settings "), this);
  frame_->setObjectName(QStringLiteral("SSFrame1"));
  auto* frame_layout = new QHBoxLayout(frame_);
  tree_ = new QTreeWidget(frame_);
  tree_->setObjectName(QStringLiteral("treIPList"));
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setMinimumSize(360, 240);
  frame_layout->addWidget(tree_);

  auto* commands = new QVBoxLayout();
  auto button = [&](const char* name, const QString& text) {
    auto* b = qt_common::NewButton(frame_, name, text);
    commands->addWidget(b);
    return b;
  };
  apply_ = button("cmdApply", QStringLiteral("Apply"));
  add_ = button("cmdAdd", QStringLiteral("Add"));
  modify_ = button("cmdModify", QStringLiteral("Modify"));
  delete_ = button("cmdDelete", QStringLiteral("Delete"));
  commands->addStretch();
  help_ = button("cmdHelp", QStringLiteral("Help"));
  exit_ = button("cmdExit", QStringLiteral("Exit"));
  frame_layout->addLayout(commands);
  return frame_;
}

QHBoxLayout* frmMain::BuildBottomRow() {
  auto* bottom = new QHBoxLayout();
  start_program_ = new QCheckBox(QStringLiteral("&Automatically run when windows starts."), this);
  start_program_->setObjectName(QStringLiteral("chkStartProgram"));
  bottom->addWidget(start_program_);
  bottom->addStretch();
  link_ = new editors::HyperLinkControl(s_.platform.shell, this);
  link_->setObjectName(QStringLiteral("HyperLinkControl"));
  bottom->addWidget(link_);
  return bottom;
}

void frmMain::BuildTrayMenu() {
  popup_ = new QMenu(this);
  popup_->setObjectName(QStringLiteral("mnuPopup"));
  QAction* display = popup_->addAction(QStringLiteral("Display"));
  display->setObjectName(QStringLiteral("mnuDisplay"));
  QAction* recognise = popup_->addAction(QStringLiteral("Recognise the network"));
  recognise->setObjectName(QStringLiteral("mnuRecognise"));
  connect(recognise, &QAction::triggered, this, [this] { recogniser_->RecogniseAll(true); });
  popup_->addSeparator();
  QAction* exit = popup_->addAction(QStringLiteral("Exit"));
  exit->setObjectName(QStringLiteral("mnuExit"));
  connect(display, &QAction::triggered, this, &frmMain::DisplayClicked);
  connect(exit, &QAction::triggered, this, [this] { close(); });
}

void frmMain::ConnectCommands() {
  connect(apply_, &QPushButton::clicked, this, &frmMain::ApplyClicked);
  connect(add_, &QPushButton::clicked, this, &frmMain::AddClicked);
  connect(modify_, &QPushButton::clicked, this, &frmMain::ModifyClicked);
  connect(delete_, &QPushButton::clicked, this, &frmMain::DeleteClicked);
  connect(help_, &QPushButton::clicked, this, &frmMain::HelpClicked);
  connect(exit_, &QPushButton::clicked, this, [this] { close(); });
  connect(tree_, &QTreeWidget::itemDoubleClicked, this, [this] { TreeDoubleClicked(); });
  connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    SelectedNodeIndex = 0;
    tree_->setCurrentItem(item);
    for (size_t i = 0; i < nodes_.size(); ++i) {
      if (nodes_[i] == item) SelectedNodeIndex = static_cast<int>(i + 1);
    }
  });
  // The window's own setting of the box happens while it is disabled, so it is no click.
  connect(start_program_, &QCheckBox::toggled, this, [this] {
    const std::string problem =
        s_.settings.StartProgramClicked(start_program_->isEnabled(), s_.state.settings);
    if (!problem.empty()) s_.prompt.Show(problem, PromptIcon::kExclamation, PromptButtons::kOk);
  });
}

void frmMain::LoadWindow() {
  start_program_->setEnabled(false);
  start_program_->setChecked(s_.state.settings.IsStartProgram);
  start_program_->setEnabled(true);

  const engine::AppState& state = s_.state;
  if (state.AdapterCount() == 0) {
    s_.prompt.Show("Cannot find the installed network adapter.", PromptIcon::kInformation,
                   PromptButtons::kOk);
    for (QWidget* w : {static_cast<QWidget*>(apply_), static_cast<QWidget*>(add_),
                       static_cast<QWidget*>(modify_)}) {
      w->setEnabled(false);
    }
  }
  if (state.AdapterCount() == 0 || state.LocationCount() > 0) {
    RefreshLocationTree();
  } else {
    const PromptAnswer answer =
        s_.prompt.Show("No location is registered.\r\nWould you like to create new location?",
                       PromptIcon::kNone, PromptButtons::kYesNo);
    if (answer == PromptAnswer::kYes) {
      editors::frmSessionNew wizard(editor_services_, this);
      RunEditor(wizard);
    } else {
      s_.prompt.Show("Netvane 2.0 cannot run due to no location was created.", PromptIcon::kNone,
                     PromptButtons::kOk);
      for (QWidget* w : {static_cast<QWidget*>(apply_), static_cast<QWidget*>(delete_),
                         static_cast<QWidget*>(modify_), static_cast<QWidget*>(tree_)}) {
        w->setEnabled(false);
      }
    }
    RefreshLocationTree();
  }
  if (tray_ != nullptr) {
    tray_->show();
    // Off the task list: the icon in the notification area stands for the program.
    setWindowFlag(Qt::Tool, true);
  }
  recogniser_->Start();
}

void frmMain::SetCommandsEnabled(bool enabled) {
  for (QWidget* w :
       {static_cast<QWidget*>(apply_), static_cast<QWidget*>(add_), static_cast<QWidget*>(modify_),
        static_cast<QWidget*>(delete_), static_cast<QWidget*>(exit_), static_cast<QWidget*>(help_),
        static_cast<QWidget*>(tree_)}) {
    w->setEnabled(enabled);
  }
  ControlsEnabled = enabled;
  applying_ = !enabled;
}

void frmMain::StartBindPoll() {
  timer_->start(engine::kBindPollIntervalMs);
  command_.ResetPoll();
}

void frmMain::StopBindPoll() { timer_->stop(); }

void frmMain::FocusApplyCommand() { apply_->setFocus(); }

void frmMain::SetBusyPointer(bool busy) {
  if (busy == busy_pointer_) return;
  busy_pointer_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void frmMain::LetPendingEventsRun() { QCoreApplication::processEvents(); }

void frmMain::LetEventsRunWhileWaiting() { QCoreApplication::processEvents(); }

void frmMain::RefreshLocationTree() {
  engine::AppState& state = s_.state;
  if (state.LocationCount() < 1) {
    for (QWidget* w : {static_cast<QWidget*>(apply_), static_cast<QWidget*>(delete_),
                       static_cast<QWidget*>(modify_), static_cast<QWidget*>(tree_)}) {
      w->setEnabled(false);
    }
  } else if (!applying_) {
    for (QWidget* w : {static_cast<QWidget*>(apply_), static_cast<QWidget*>(delete_),
                       static_cast<QWidget*>(modify_), static_cast<QWidget*>(tree_)}) {
      w->setEnabled(true);
    }
  }
  tree_->clear();
  nodes_.clear();
  if (state.LocationCount() > 0) {
    store::BuildActiveLocationTable(state.AdapterTable, state.LocationTable,
                                    state.ActiveLocationTable);
  }
  std::map<QString, QTreeWidgetItem*> by_key;
  for (const engine::TreeNode& node :
       engine::BuildLocationTree(state.LocationTable, state.ActiveLocationTable)) {
    QTreeWidgetItem* parent = node.parent.empty() ? nullptr : by_key[qt_common::Q(node.parent)];
    auto* item = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    item->setText(0, qt_common::Q(node.text));
    item->setIcon(0, TreeImage(node.image));
    item->setData(0, kKeyRole, qt_common::Q(node.key));
    item->setData(0, kImageRole, node.image);
    by_key[qt_common::Q(node.key)] = item;
    nodes_.push_back(item);
    // A location is shown with its adapter node opened.
    if (node.image == engine::kImageLocation || node.image == engine::kImageActiveLocation) {
      for (QTreeWidgetItem* up = parent; up != nullptr; up = up->parent()) up->setExpanded(true);
    }
  }
  const int count = static_cast<int>(nodes_.size());
  int select = 1;
  if (count >= 3 && SelectedNodeIndex != 0) {
    select = SelectedNodeIndex > count ? count : SelectedNodeIndex;
  }
  tree_->setCurrentItem(nodes_[static_cast<size_t>(select - 1)]);
}

void frmMain::ReloadAndRefresh() {
  engine::LoadAll(s_.state, s_.registry, s_.locations, s_.iphelper);
  RefreshLocationTree();
}

bool frmMain::SelectedLocation(const char* no_node, const char* not_location, int16_t* id) {
  QTreeWidgetItem* item = tree_->currentItem();
  if (item == nullptr || !item->isSelected()) {
    s_.prompt.Show(no_node, PromptIcon::kNone, PromptButtons::kOk);
    return false;
  }
  const std::string key = qt_common::S(item->data(0, kKeyRole).toString());
  if (!engine::LocationIdFromKey(key, id)) {
    s_.prompt.Show(not_location, PromptIcon::kNone, PromptButtons::kOk);
    return false;
  }
  return true;
}

template <typename Call>
void frmMain::EngineCall(Call call) {
  ++engine_calls_;
  StopWatchingSocket();
  call();
  WatchSocket();
  if (memory_.Waiting() && !memory_timer_->isActive()) memory_timer_->start(500);
  if (--engine_calls_ == 0 && close_when_idle_) {
    close_when_idle_ = false;
    if (session_ending_) close();
  }
}

void frmMain::ApplyClicked() {
  // A click that was queued before the commands were disabled.
  if (applying_) return;
  int16_t id = 0;
  if (!SelectedLocation("No location is selected. Select location name.",
                        "No location name is selected. Select location name.", &id)) {
    return;
  }
  EngineCall([&] { command_.Apply(id); });
}

void frmMain::TreeDoubleClicked() {
  if (applying_) return;
  QTreeWidgetItem* item = tree_->currentItem();
  int16_t id = 0;
  if (s_.state.AdapterCount() == 0 || item == nullptr ||
      !engine::LocationIdFromKey(qt_common::S(item->data(0, kKeyRole).toString()), &id)) {
    return;
  }
  ApplyClicked();
}

void frmMain::AddClicked() {
  if (applying_) return;
  {
    editors::frmSessionNew wizard(editor_services_, this);
    RunEditor(wizard);
  }
  RefreshLocationTree();
}

void frmMain::RunEditor(QDialog& editor) {
  EditorOpen = true;
  // Set before the editor runs: the window may be activated before Run returns.
  count_activation_ = true;
  s_.dialogs.Run(editor);
  EditorOpen = false;
}

void frmMain::ModifyClicked() {
  if (applying_) return;
  int16_t id = 0;
  const char* text = "No location name is selected. Select location name.";
  if (!SelectedLocation(text, text, &id)) return;
  {
    editors::frmSessionModify modify(editor_services_, this);
    modify.SelectedSessionID = id;
    if (modify.Load()) RunEditor(modify);
  }
  ReloadAndRefresh();
}

void frmMain::DeleteClicked() {
  if (applying_) return;
  int16_t id = 0;
  const char* text = "No location name is selected. Select current location name.";
  if (!SelectedLocation(text, text, &id)) return;
  const int i = store::FindLocationIndex(s_.state.LocationTable, id);
  const std::string name =
      i < 0 ? std::string() : s_.state.LocationTable[static_cast<size_t>(i)].SessionName;
  if (s_.prompt.Show(name + " will be deleted.", PromptIcon::kQuestion, PromptButtons::kYesNo) !=
      PromptAnswer::kYes) {
    return;
  }
  if (!s_.locations.DeleteLocation(id)) {
    s_.prompt.Show("Error in deleting location data.", PromptIcon::kExclamation,
                   PromptButtons::kOk);
  }
  ReloadAndRefresh();
}

void frmMain::HelpClicked() {
  if (applying_) return;
  s_.platform.shell.OpenDocument(engine_.programs().ProgramDirectory() + "NetvaneHelp.chm");
}

void frmMain::Timer1Tick() {
  EngineCall([&] { command_.Tick(); });
}

void frmMain::DataArrival() {
  StopWatchingSocket();
  engine_.responder().OnDataArrival();
  WatchSocket();
}

void frmMain::WatchSocket() {
  const std::intptr_t handle = s_.winsock.NativeHandle();
  if (handle < 0) return;
  notifier_ = new QSocketNotifier(static_cast<qintptr>(handle), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &frmMain::DataArrival);
}

void frmMain::StopWatchingSocket() {
  // The notifier must not outlive the socket it watches: the engine may close it at any call.
  delete notifier_;
  notifier_ = nullptr;
}

void frmMain::Activated() { s_.state.UpdateDue = s_.settings.CountActivation(); }

void frmMain::SessionEnding() {
  session_ending_ = true;
  qApp->installEventFilter(this);
}

void frmMain::SessionGoesOn() {
  session_ending_ = false;
  qApp->removeEventFilter(this);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  // A session that ends gives the user no chance to work with the program again.
  if (session_ending_ &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)) {
    SessionGoesOn();
  }
  return QWidget::eventFilter(watched, event);
}

void frmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && count_activation_) {
    count_activation_ = false;
    Activated();
  }
  if (event->type() == QEvent::WindowStateChange && isMinimized() && tray_ != nullptr) {
    tray_->show();
    QTimer::singleShot(0, this, &QWidget::hide);
  }
}

void frmMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  // A resize while a location is being applied must not open the way out of it.
  if (!applying_) ControlsEnabled = true;
}

void frmMain::TrayDoubleClicked() {
  SessionGoesOn();
  if (EditorOpen || tray_busy_) return;
  tray_busy_ = true;
  if (isVisible() && !isMinimized()) {
    raise();
    activateWindow();
  } else {
    showNormal();
    show();
  }
  tray_busy_ = false;
}

void frmMain::ShowTrayMenu(const QPoint& where) {
  SessionGoesOn();
  if (EditorOpen || tray_busy_) return;
  tray_busy_ = true;
  popup_->popup(where);
  tray_busy_ = false;
}

void frmMain::DisplayClicked() {
  showNormal();
  show();
}

QString RecognisedText(const std::string& session_name) {
  return QStringLiteral("This is the network of the location \"%1\". Click here to apply it.")
      .arg(qt_common::Q(session_name));
}

void frmMain::NetworkRecognised(int16_t id) {
  if (applying_ || EditorOpen || engine_calls_ > 0 || !apply_->isEnabled()) return;
  const int i = store::FindLocationIndex(s_.state.LocationTable, id);
  if (i < 0) return;
  const store::LocationRecord& r = s_.state.LocationTable[static_cast<size_t>(i)];
  if (r.SessionActive) return;
  if (r.ApplyWhenRecognised) {
    EngineCall([&] { command_.Apply(id); });
    return;
  }
  OfferedLocationId = id;
  OfferText = RecognisedText(r.SessionName);
  if (tray_ != nullptr) {
    tray_->showMessage(QStringLiteral("Netvane 2.0"), OfferText, QSystemTrayIcon::Information);
  }
}

void frmMain::OfferClicked() {
  const int16_t id = std::exchange(OfferedLocationId, -1);
  if (id < 0 || applying_ || EditorOpen || engine_calls_ > 0 || !apply_->isEnabled() ||
      store::FindLocationIndex(s_.state.LocationTable, id) < 0) {
    return;
  }
  EngineCall([&] { command_.Apply(id); });
}

void frmMain::ShutDown() {
  StopBindPoll();
  StopWatchingSocket();
  s_.winsock.Close();
  if (tray_ != nullptr) tray_->hide();
}

void frmMain::closeEvent(QCloseEvent* event) {
  if (session_ending_ && engine_calls_ > 0) {
    // The apply under way finishes first; the window closes as soon as it returns.
    close_when_idle_ = true;
    event->ignore();
    return;
  }
  if (session_ending_) {
    ShutDown();
    event->accept();
    return;
  }
  if (!ControlsEnabled) {
    event->ignore();
    return;
  }
  if (!s_.state.UpdateDue) {
    if (s_.prompt.Show("Are you sure you want to exit?", PromptIcon::kNone,
                       PromptButtons::kYesNo) != PromptAnswer::kYes) {
      event->ignore();
      return;
    }
  } else if (s_.prompt.Show("Would you like to check update?", PromptIcon::kNone,
                            PromptButtons::kYesNo) == PromptAnswer::kYes) {
    const std::string updater = engine_.programs().ProgramDirectory() + "NVEupdate.exe";
    // The host's programs have no ending; the updater is found either way.
    const bool present = !s_.platform.shell.FindFile(updater).empty() ||
                         !s_.platform.shell.FindFile(updater.substr(0, updater.size() - 4)).empty();
    if (present) {
      try {
        s_.platform.process.Start(platform::QuoteArgument(updater),
                                  platform::WindowMode::kMinimizedFocus);
      } catch (const platform::PlatformError&) {
        // The exit goes on; the user can start the updater later.
      }
    } else {
      s_.prompt.Show(
          "Your program has been already updated.\r\nIf you want to update Netvane 2.0, install "
          "the program again, please.",
          PromptIcon::kInformation, PromptButtons::kOk);
    }
  }
  ShutDown();
  event->accept();
  QCoreApplication::quit();
}

}  // namespace netvane::shell
