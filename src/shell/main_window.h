// frmMain: the program's window. It lists the stored locations by adapter, offers the
// commands on them, runs the bind poll and the local DHCP responder for the engine, keeps the
// notification-area icon, and decides whether the program may end.
#pragma once

#include <QIcon>
#include <QWidget>
#include <memory>
#include <vector>

#include "editors/editor_common.h"
#include "editors/hyperlink_control.h"
#include "engine/apply_command.h"
#include "engine/engine.h"
#include "engine/front_end.h"
#include "engine/ip_helper.h"
#include "engine/network_memory.h"
#include "platform/platform.h"
#include "prompt/user_prompt.h"

class QCheckBox;
class QDialog;
class QGroupBox;
class QHBoxLayout;
class QMenu;
class QPushButton;
class QSocketNotifier;
class QSystemTrayIcon;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class QAction;

namespace netvane::shell {

class Recogniser;

// What the notification icon says when it recognises a location's network.
QString RecognisedText(const std::string& session_name);

// Everything the window works with, owned by the program.
struct ShellServices {
  platform::Platform& platform;
  store::RegistryAccess& registry;
  store::LocationStore& locations;
  store::SettingsStore& settings;
  engine::AppState& state;
  engine::CIpHelper& iphelper;
  UserPrompt& prompt;
  editors::FileChooser& files;
  editors::PrinterList& printers;
  editors::DialogRunner& dialogs;
  platform::UdpEndpoint& winsock;
};

// The pictures of the location list (ImageList1), by their positions 1, 2, 4 and 5.
QIcon TreeImage(int position);
// The program's own icon.
QIcon ProgramIcon();

class frmMain : public QWidget, public engine::FrontEnd {
  Q_OBJECT

 public:
  // `tray` tells whether a notification area exists to keep the icon in.
  frmMain(ShellServices& services, bool tray, QWidget* parent = nullptr);
  ~frmMain() override;

  // The load procedure: the auto-start box, the adapter and location checks, the list, the
  // notification-area icon.
  void LoadWindow();

  // The engine's side of the window.
  void SetCommandsEnabled(bool enabled) override;
  void StartBindPoll() override;
  void StopBindPoll() override;
  void RefreshLocationTree() override;
  void FocusApplyCommand() override;
  void SetBusyPointer(bool busy) override;
  void LetPendingEventsRun() override;
  void LetEventsRunWhileWaiting() override;
  // A session's end waits to close the window until the engine's call returns.
  bool ShuttingDown() const override { return close_when_idle_ && session_ending_; }
  UserPrompt& Prompt() override { return s_.prompt; }
  platform::UdpEndpoint& MyWinsock() override { return s_.winsock; }

  void ReloadAndRefresh();
  // The update-check counter, kept when the window is first shown and when it is active again
  // after one of the program's own editors.
  void Activated();
  // The session may end: closing the window asks nothing and refuses nothing until the session
  // goes on (SessionGoesOn, or the user's next key or mouse press on the program).
  void SessionEnding();
  void SessionGoesOn();

  // Commands.
  void ApplyClicked();
  void AddClicked();
  void ModifyClicked();
  void DeleteClicked();
  void HelpClicked();
  void TreeDoubleClicked();
  void Timer1Tick();
  void DataArrival();
  // The icon's double click and its menu.
  void TrayDoubleClicked();
  void ShowTrayMenu(const QPoint& where);
  void DisplayClicked();
  // A location's network recognised: applied when the location says so, else offered through
  // the notification icon, whose message applies it when clicked. Nothing while the commands
  // are busy, or for the location already active.
  void NetworkRecognised(int16_t location_id);
  void OfferClicked();
  // The location the icon's message last offered, or -1.
  int16_t OfferedLocationId = -1;
  QString OfferText;

  bool ControlsEnabled = false;
  bool EditorOpen = false;
  int SelectedNodeIndex = 0;

  engine::ApplyCommand& command() { return command_; }
  Recogniser& recogniser() { return *recogniser_; }
  engine::Engine& engine() { return engine_; }
  bool tray_available() const { return tray_ != nullptr; }
  QSystemTrayIcon* tray_icon() const { return tray_; }
  QTimer* Timer1() const { return timer_; }
  QMenu* mnuPopup() const { return popup_; }
  QTreeWidget* treIPList() const { return tree_; }
  QPushButton* cmdApply() const { return apply_; }
  QPushButton* cmdAdd() const { return add_; }
  QPushButton* cmdModify() const { return modify_; }
  QPushButton* cmdDelete() const { return delete_; }
  QPushButton* cmdHelp() const { return help_; }
  QPushButton* cmdExit() const { return exit_; }
  QCheckBox* chkStartProgram() const { return start_program_; }
  editors::HyperLinkControl* HyperLinkControl() const { return link_; }
  // The tree's nodes in the order they were added (node 1 first).
  const std::vector<QTreeWidgetItem*>& nodes() const { return nodes_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildWindow();
  QGroupBox* BuildLocationFrame();
  QHBoxLayout* BuildBottomRow();
  void BuildTrayMenu();
  void ConnectCommands();
  // The location id of the selected node, after the command's checks; false when a check
  // showed its message.
  bool SelectedLocation(const char* no_node, const char* not_location, int16_t* id);
  // The socket control's data-arrival events follow the endpoint as it is closed and reopened.
  void WatchSocket();
  void StopWatchingSocket();
  void ShutDown();
  // Runs one of the program's own editors; the window's next activation counts.
  void RunEditor(QDialog& editor);
  // Runs an apply or a poll tick of the engine, the responder's socket unwatched meanwhile.
  template <typename Call>
  void EngineCall(Call call);

  ShellServices& s_;
  editors::EditorServices editor_services_;
  engine::Engine engine_;
  engine::ApplyCommand command_;
  engine::NetworkMemory memory_;
  QTimer* memory_timer_ = nullptr;
  Recogniser* recogniser_ = nullptr;
  bool session_ending_ = false;
  bool count_activation_ = true;
  bool busy_pointer_ = false;
  bool applying_ = false;
  bool tray_busy_ = false;
  // Engine calls under way: their waits let window events run, which must not end the window
  // under them; a session end's close waits for the last one to return.
  int engine_calls_ = 0;
  bool close_when_idle_ = false;

  QGroupBox* frame_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  std::vector<QTreeWidgetItem*> nodes_;
  QPushButton* apply_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* modify_ = nullptr;
  QPushButton* delete_ = nullptr;
  QPushButton* help_ = nullptr;
  QPushButton* exit_ = nullptr;
  QCheckBox* start_program_ = nullptr;
  editors::HyperLinkControl* link_ = nullptr;
  QTimer* timer_ = nullptr;
  QSocketNotifier* notifier_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  QMenu* popup_ = nullptr;
};

}  // namespace netvane::shell
