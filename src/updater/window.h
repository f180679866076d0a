// The NVEupdate window, "Netvane 2.0 Patch loader": the FTP connection, the server listing,
// the two progress displays, and the buttons that run, cancel and quit the update.
#pragma once

#include <QWidget>
#include <memory>

#include "updater/update_procedure.h"

class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace netvane::updater {

class frmMain : public QWidget, public UpdaterView {
  Q_OBJECT

 public:
  // `prompt` shows the messages (the program's own message boxes, or a test's script).
  // `trusted` are the publishers' keys an update must be signed with.
  frmMain(std::unique_ptr<platform::Ftp> session, platform::Platform& platform, UserPrompt& prompt,
          std::vector<minisign::PublicKey> trusted, QWidget* parent = nullptr);
  ~frmMain() override;

  // UpdaterView.
  void SetLabel(UpdateLabel label, const std::string& text) override;
  void SetBar(UpdateBar bar, int value, int maximum) override;
  void ShowListing(const cDirList* listing) override;
  void ProcedureRunning(bool running) override;
  void SetWindowShown(bool shown) override;
  void LetPendingEventsRun() override;
  UserPrompt& Prompt() override { return prompt_; }
  void EndProgram() override;
  std::string Server() override;
  std::string User() override;
  std::string Password() override;

  // Centred across, and 1000 twips above the middle of the screen.
  void PlaceWindow();

  UpdateProcedure& procedure() { return *procedure_; }
  cFTP& ftp() { return *ftp_; }
  bool ended() const { return ended_; }

  void ConnectClicked();
  void DisconnectClicked();
  void CancelClicked();
  void ListDoubleClicked();

 protected:
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  QGroupBox* BuildConnectionBox();
  QTreeWidget* BuildListing();
  QGridLayout* BuildProgress();
  QHBoxLayout* BuildButtons();
  void ConnectControls();
  // Runs a command that talks to the server. The client lets the window's events run while it
  // waits, and refuses every other call meanwhile: until the command returns, the buttons that
  // would start one are off, and a click that was queued before is ignored.
  template <typename Command>
  void FtpCommand(Command command);
  void UpdateButtons();

  UserPrompt& prompt_;
  std::unique_ptr<cFTP> ftp_;
  std::unique_ptr<UpdateProcedure> procedure_;
  bool ended_ = false;
  bool ftp_busy_ = false;
  // Update Now is offered until the procedure has run once.
  bool download_offered_ = true;

  QLineEdit* server_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QPushButton* connect_ = nullptr;
  QPushButton* disconnect_ = nullptr;
  QRadioButton* active_ = nullptr;
  QRadioButton* passive_ = nullptr;
  QRadioButton* binary_ = nullptr;
  QRadioButton* ascii_ = nullptr;
  QLabel* directory_ = nullptr;
  QTreeWidget* list_ = nullptr;
  QProgressBar* pb_ = nullptr;
  QProgressBar* pb2_ = nullptr;
  QLabel* label4_ = nullptr;
  QLabel* label7_ = nullptr;
  QLabel* label8_ = nullptr;
  QLabel* label9_ = nullptr;
  QPushButton* download_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* quit_ = nullptr;
};

}  // namespace netvane::updater
