// The updater's window through its real widgets against a real FTP server on loopback: what it
// shows when it opens, the listing and its navigation, which buttons a run leaves usable, a
// Cancel pressed while a block transfer lets window events through, and the unattended update
// started by activation.
#include "updater/window.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/posix/curl_ftp.h"
#include "updater_fixture.h"

namespace netvane::testing {
namespace {

namespace fs = std::filesystem;

class UpdaterWindowTest : public ::testing::Test, public UpdaterFixture {
 protected:
  // Opens the window pointed at the loopback server.
  void Open() {
    StartServer();
    window_ = std::make_unique<updater::frmMain>(std::make_unique<platform::CurlFtp>(), services_,
                                                 prompt_, Trusted());
    Find<QLineEdit>("txtServer")->setText(QString::fromStdString(server_->address()));
  }
  template <typename T>
  T* Find(const char* name) {
    T* w = window_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QString Text(const char* label) { return Find<QLabel>(label)->text(); }
  QStringList Column(int column) {
    QStringList out;
    auto* lv = Find<QTreeWidget>("lv");
    for (int i = 0; i < lv->topLevelItemCount(); ++i) out << lv->topLevelItem(i)->text(column);
    return out;
  }
  void DoubleClick(const QString& name) {
    auto* lv = Find<QTreeWidget>("lv");
    const QList<QTreeWidgetItem*> found = lv->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    lv->setCurrentItem(found[0]);
    emit lv->itemDoubleClicked(found[0], 0);
  }
  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const auto& s : prompt_.shown) out.push_back(s.text);
    return out;
  }

  ScriptedPrompt prompt_;
  std::unique_ptr<updater::frmMain> window_;
};

TEST_F(UpdaterWindowTest, OpensReadyToUpdateWithQuitOffered) {
  Open();
  EXPECT_EQ(window_->windowTitle(), "Netvane 2.0 Patch loader");
  EXPECT_EQ(Find<QLineEdit>("txtUser")->text(), "anonymous");
  EXPECT_TRUE(Find<QLineEdit>("txtPassword")->text().contains('@'));
  EXPECT_TRUE(Find<QRadioButton>("optActive")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>("optBin")->isChecked());
  for (const char* bar : {"pb", "pb2"}) {
    EXPECT_EQ(Find<QProgressBar>(bar)->value(), 100) << bar;
    EXPECT_EQ(Find<QProgressBar>(bar)->maximum(), 100) << bar;
  }
  EXPECT_EQ(Text("Label7"), "0% Received");
  EXPECT_EQ(Text("Label9"), "0% Received");
  EXPECT_EQ(Find<QPushButton>("cmdDownload")->text(), "Update Now");
  EXPECT_TRUE(Find<QPushButton>("cmdDownload")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("cmdCancel")->isHidden());
  EXPECT_FALSE(Find<QPushButton>("Command1")->isHidden());
  auto* header = Find<QTreeWidget>("lv")->headerItem();
  EXPECT_EQ(header->text(0), "Name");
  EXPECT_EQ(header->text(3), "Attributes");
}

TEST_F(UpdaterWindowTest, ConnectListsTheServerAndDoubleClicksNavigate) {
  ServerFile("eng.txt", "000124");
  fs::create_directories(fs::path(ftp_root_) / "old");
  ServerFile("old/NVE20Eng-000100.exe", std::string(300, 'o'));
  Open();
  QTest::mouseClick(Find<QPushButton>("cmdConnect"), Qt::LeftButton);
  ASSERT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(Text("lblDir"), "Current Directory: /");
  QStringList names = Column(0);
  ASSERT_FALSE(names.isEmpty());
  EXPECT_EQ(names.takeFirst(), "..");  // always first
  names.sort();
  EXPECT_EQ(names, (QStringList{"eng.txt", "old"}));
  auto* lv = Find<QTreeWidget>("lv");
  EXPECT_EQ(lv->findItems("old", Qt::MatchExactly)[0]->text(1), "< Directory >");
  EXPECT_EQ(lv->findItems("eng.txt", Qt::MatchExactly)[0]->text(1), "6");
  EXPECT_FALSE(lv->findItems("eng.txt", Qt::MatchExactly)[0]->text(2).isEmpty());

  DoubleClick("old");
  EXPECT_EQ(Text("lblDir"), "Current Directory: /old");
  EXPECT_EQ(Column(0), (QStringList{"..", "NVE20Eng-000100.exe"}));
  EXPECT_EQ(Column(1)[1], "300");
  DoubleClick("..");
  EXPECT_EQ(Text("lblDir"), "Current Directory: /");

  QTest::mouseClick(Find<QPushButton>("cmdDisconnect"), Qt::LeftButton);
  EXPECT_EQ(Find<QTreeWidget>("lv")->topLevelItemCount(), 0);
}

TEST_F(UpdaterWindowTest, AFinishedRunLeavesOnlyQuitAndTheFtpCommands) {
  ServerFile("eng.txt", "000124");
  ServerUpdate("NVE20Eng-000124.exe", std::string(600, 'n'));
  Program("BuildNo", "123");
  Installed(install_);
  Open();
  window_->show();
  QTest::mouseClick(Find<QPushButton>("cmdDownload"), Qt::LeftButton);
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(Text("Label4"), "Program update is completed.");
  EXPECT_EQ(Text("Label7"), "100% Received");
  EXPECT_EQ(Text("Label9"), "100% Received.");
  EXPECT_EQ(Find<QProgressBar>("pb2")->value(), Find<QProgressBar>("pb2")->maximum());
  EXPECT_TRUE(fs::exists(install_ + "/netvane.exe"));
  EXPECT_FALSE(Find<QPushButton>("cmdDownload")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("cmdCancel")->isHidden());
  EXPECT_FALSE(Find<QPushButton>("Command1")->isHidden());
  EXPECT_TRUE(Find<QPushButton>("cmdConnect")->isEnabled());
  EXPECT_FALSE(window_->ended());
}

// The Cancel button is clicked from the window's own event processing between two blocks of
// the update file, as a person would.
TEST_F(UpdaterWindowTest, CancelPressedDuringTheUpdateFileStopsIt) {
  ServerFile("eng.txt", "000124");
  ServerUpdate("NVE20Eng-000124.exe", std::string(200000, 'c'));
  Program("BuildNo", "123");
  Installed(install_);
  Open();
  window_->show();
  bool cancel_was_offered = false, quit_was_hidden = false, connect_was_off = false;
  QTimer presser;
  QObject::connect(&presser, &QTimer::timeout, [&] {
    // The update file's blocks are arriving (its signature came first).
    if (window_->procedure().Phase != 2 || !Text("Label9").endsWith("% ")) return;
    presser.stop();
    auto* cancel = Find<QPushButton>("cmdCancel");
    cancel_was_offered = !cancel->isHidden();
    quit_was_hidden = Find<QPushButton>("Command1")->isHidden();
    // A Connect that reached the window during the download starts nothing.
    connect_was_off = !Find<QPushButton>("cmdConnect")->isEnabled();
    emit Find<QPushButton>("cmdConnect")->clicked();
    QTest::mouseClick(cancel, Qt::LeftButton);
  });
  presser.start(0);
  QTest::mouseClick(Find<QPushButton>("cmdDownload"), Qt::LeftButton);
  presser.stop();
  EXPECT_TRUE(cancel_was_offered);
  EXPECT_TRUE(quit_was_hidden);
  EXPECT_TRUE(connect_was_off);
  EXPECT_EQ(Messages(), std::vector<std::string>{"Download is canceled."});
  EXPECT_FALSE(fs::exists(install_ + "/netvane.exe"));
  EXPECT_EQ(ProgramValue("BuildNo").number, 123);
  // It stopped early: the label shows the last share received.
  EXPECT_TRUE(Text("Label9").endsWith("% ")) << Text("Label9").toStdString();
  EXPECT_LT(Text("Label9").section('%', 0, 0).toInt(), 100);
  EXPECT_TRUE(Find<QPushButton>("cmdCancel")->isHidden());
  EXPECT_FALSE(Find<QPushButton>("Command1")->isHidden());
}

// While Connect waits for a server that never greets, nothing starts another FTP call: the
// buttons are off and a click that was already queued is ignored; afterwards Update Now works.
TEST_F(UpdaterWindowTest, WhileAnFtpCallWaitsNoOtherStarts) {
  ServerFile("eng.txt", "000124");
  ServerUpdate("NVE20Eng-000124.exe", std::string(300, 'n'));
  Program("BuildNo", "123");
  Installed(install_);
  Open();
  window_->ftp().SetTimeLimits({2000, 2000, 2000});
  Find<QLineEdit>("txtServer")->setText(QString::fromStdString(server_->silent_address()));
  window_->show();
  bool during = false;
  QTimer::singleShot(300, [&] {
    during = true;
    EXPECT_FALSE(Find<QPushButton>("cmdDownload")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("cmdConnect")->isEnabled());
    emit Find<QPushButton>("cmdDownload")->clicked();
  });
  QTest::mouseClick(Find<QPushButton>("cmdConnect"), Qt::LeftButton);
  EXPECT_TRUE(during);
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_TRUE(Find<QPushButton>("cmdConnect")->isEnabled());
  ASSERT_TRUE(Find<QPushButton>("cmdDownload")->isEnabled());

  Find<QLineEdit>("txtServer")->setText(QString::fromStdString(server_->address()));
  QTest::mouseClick(Find<QPushButton>("cmdDownload"), Qt::LeftButton);
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  EXPECT_EQ(Text("Label4"), "Program update is completed.");
  EXPECT_EQ(ProgramValue("BuildNo").number, 124);
}

TEST_F(UpdaterWindowTest, ActivationRunsTheUnattendedUpdateAndQuits) {
  ServerFile("eng.txt", "000124");
  ServerUpdate("NVE20Eng-000124.exe", std::string(300, 'a'));
  Program("BuildNo", "123");
  Program("AutoUpdate", "1");
  Program("AutoFinish", "1");
  Installed(install_);
  Open();
  window_->show();
  QApplication::setActiveWindow(window_.get());
  QApplication::processEvents();
  EXPECT_TRUE(window_->ended());
  EXPECT_TRUE(fs::exists(install_ + "/netvane.exe"));
  EXPECT_EQ(ProgramValue("BuildNo").number, 124);
  EXPECT_EQ(ProgramValue("AutoFinish").number, 0);
  EXPECT_TRUE(ProgramValue("AutoUpdate").Equals(1));
  EXPECT_TRUE(Messages().empty()) << Messages()[0];
  // The quit was queued; drop it so it cannot end a later test's event loop.
  QCoreApplication::removePostedEvents(qApp, QEvent::MetaCall);
}

// The program itself (built to trust this build's test key), unattended, updating a test
// installation from the loopback server.
TEST_F(UpdaterWindowTest, TheProgramUpdatesAnInstallationUnattended) {
  ServerFile("eng.txt", "000124");
  const std::string update(5000, 'u');
  ServerFile("NVE20Eng-000124.exe", update);
  ServerFile("NVE20Eng-000124.exe.minisig",
             SignFile(SigningKeyOfSecretFile(Read(TEST_UPDATE_SECRET)), update,
                      PublisherComment("000124", "NVE20Eng-000124.exe")));
  Program("BuildNo", "123");
  Program("AutoUpdate", "1");
  Program("AutoFinish", "1");
  Installed("c:\\Program Files\\Netvane");
  StartServer();
  const std::string registry = "NETVANE_REGISTRY=" + fake_.registry.file();
  const std::string drive = "NETVANE_DRIVE_C=" + fake_.drive_c.path().string();
  const std::string server = "NETVANE_UPDATE_SERVER=" + server_->address();
  const pid_t pid = fork();
  if (pid == 0) {
    if (freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
    const char* env[] = {registry.c_str(), drive.c_str(),
                         server.c_str(),   "QT_QPA_PLATFORM=offscreen",
                         "HOME=/tmp",      nullptr};
    execle(NVEUPDATE_BIN, "NVEupdate", static_cast<char*>(nullptr), env);
    _exit(127);
  }
  // A guard against a hang, not a measurement.
  int status = 0;
  for (int i = 0; i < 1200 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (waitpid(pid, &status, WNOHANG) == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "NVEupdate did not finish";
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(Read(install_ + "/netvane.exe"), update);
  EXPECT_EQ(ProgramValue("BuildNo").number, 124);
  EXPECT_EQ(ProgramValue("AutoFinish").number, 0);
  EXPECT_EQ(Read(Drive("eng.txt")), "000124");
  EXPECT_FALSE(std::filesystem::exists(Drive("netvane.exe")));
}

}  // namespace
}  // namespace netvane::testing
