#include "updater/window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDate>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "qt_common/controls.h"

namespace netvane::updater {
namespace {

using qt_common::NamedLabel;
using qt_common::NewButton;
using qt_common::NoDefaultButtons;
using qt_common::Q;
using qt_common::S;

QRadioButton* Option(QWidget* parent, const char* name, const QString& text) {
  auto* o = new QRadioButton(text, parent);
  o->setObjectName(QString::fromLatin1(name));
  return o;
}

// A listing date (days since 1899-12-30) as the user's locale writes a date and time.
QString DateText(double days) {
  const QDateTime base(QDate(1899, 12, 30), QTime(0, 0));
  return QLocale().toString(base.addMSecs(static_cast<qint64>(days * 86400000.0)),
                            QLocale::ShortFormat);
}

}  // namespace

frmMain::frmMain(std::unique_ptr<platform::Ftp> session, platform::Platform& platform,
                 UserPrompt& prompt, std::vector<minisign::PublicKey> trusted, QWidget* parent)
    : QWidget(parent), prompt_(prompt) {
  setObjectName(QStringLiteral("frmMain"));
  BuildWindow();
  // Window load: the client, the connection values, active mode and binary transfers.
  ftp_ = std::make_unique<cFTP>(std::move(session));
  procedure_ = std::make_unique<UpdateProcedure>(*ftp_, platform, *this, std::move(trusted));
  server_->setText(Q(UpdateServerHost()));
  user_->setText(QString::fromLatin1(kAnonymousUser));
  password_->setText(QString::fromLatin1(kAnonymousPassword));
  ftp_->SetModeActive();
  active_->setChecked(true);
  ftp_->SetTransferBinary();
  binary_->setChecked(true);
  setWindowTitle(QStringLiteral("Netvane 2.0 Patch loader"));
  SetBar(UpdateBar::kPb, 100, 100);
  SetBar(UpdateBar::kPb2, 100, 100);
  procedure_->ContinueFlag = true;
  cancel_->hide();
  quit_->show();
}

frmMain::~frmMain() = default;

void frmMain::BuildWindow() {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildConnectionBox());
  directory_ = NamedLabel(this, "lblDir", QStringLiteral("Current Directory: "));
  layout->addWidget(directory_);
  layout->addWidget(BuildListing());
  layout->addLayout(BuildProgress());
  layout->addLayout(BuildButtons());
  NoDefaultButtons(this);
  ConnectControls();
}

QGroupBox* frmMain::BuildConnectionBox() {
  auto* settings = new QGroupBox(QStringLiteral("FTP"), this);
  auto* g = new QGridLayout(settings);
  server_ = new QLineEdit(settings);
  server_->setObjectName(QStringLiteral("txtServer"));
  user_ = new QLineEdit(settings);
  user_->setObjectName(QStringLiteral("txtUser"));
  password_ = new QLineEdit(settings);
  password_->setObjectName(QStringLiteral("txtPassword"));
  password_->setEchoMode(QLineEdit::Password);
  g->addWidget(new QLabel(QStringLiteral("Server"), settings), 0, 0);
  g->addWidget(server_, 0, 1);
  g->addWidget(new QLabel(QStringLiteral("User"), settings), 1, 0);
  g->addWidget(user_, 1, 1);
  g->addWidget(new QLabel(QStringLiteral("Password"), settings), 2, 0);
  g->addWidget(password_, 2, 1);
  connect_ = NewButton(settings, "cmdConnect", QStringLiteral("&Connect"));
  disconnect_ = NewButton(settings, "cmdDisconnect", QStringLiteral("&Disconnect"));
  g->addWidget(connect_, 0, 2);
  g->addWidget(disconnect_, 1, 2);
  auto* modes = new QWidget(settings);
  auto* m = new QVBoxLayout(modes);
  active_ = Option(modes, "optActive", QStringLiteral("Active Connection"));
  passive_ = Option(modes, "optPassive", QStringLiteral("Passive Connection"));
  m->addWidget(active_);
  m->addWidget(passive_);
  auto* types = new QWidget(settings);
  auto* t = new QVBoxLayout(types);
  binary_ = Option(types, "optBin", QStringLiteral("Binary File Transfer"));
  ascii_ = Option(types, "optAscii", QStringLiteral("ASCII File Transfer"));
  t->addWidget(binary_);
  t->addWidget(ascii_);
  g->addWidget(modes, 3, 0, 1, 2);
  g->addWidget(types, 3, 2);
  return settings;
}

QTreeWidget* frmMain::BuildListing() {
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("lv"));
  list_->setRootIsDecorated(false);
  list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"),
                          QStringLiteral("Last Accessed"), QStringLiteral("Attributes")});
  list_->setMinimumHeight(160);
  return list_;
}

QGridLayout* frmMain::BuildProgress() {
  auto* progress = new QGridLayout();
  label4_ = NamedLabel(this, "Label4");
  pb_ = new QProgressBar(this);
  pb_->setObjectName(QStringLiteral("pb"));
  label7_ = NamedLabel(this, "Label7", QStringLiteral("0% Received"));
  label8_ = NamedLabel(this, "Label8");
  pb2_ = new QProgressBar(this);
  pb2_->setObjectName(QStringLiteral("pb2"));
  label9_ = NamedLabel(this, "Label9", QStringLiteral("0% Received"));
  for (QProgressBar* bar : {pb_, pb2_}) bar->setTextVisible(false);
  progress->addWidget(label4_, 0, 0, 1, 2);
  progress->addWidget(pb_, 1, 0);
  progress->addWidget(label7_, 1, 1);
  progress->addWidget(label8_, 2, 0, 1, 2);
  progress->addWidget(pb2_, 3, 0);
  progress->addWidget(label9_, 3, 1);
  return progress;
}

QHBoxLayout* frmMain::BuildButtons() {
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  download_ = NewButton(this, "cmdDownload", QStringLiteral("Update Now"));
  cancel_ = NewButton(this, "cmdCancel", QStringLiteral("Cancel"));
  quit_ = NewButton(this, "Command1", QStringLiteral("Quit"));
  buttons->addWidget(download_);
  buttons->addWidget(cancel_);
  buttons->addWidget(quit_);
  return buttons;
}

void frmMain::ConnectControls() {
  connect(connect_, &QPushButton::clicked, this, &frmMain::ConnectClicked);
  connect(disconnect_, &QPushButton::clicked, this, &frmMain::DisconnectClicked);
  connect(download_, &QPushButton::clicked, this,
          [this] { FtpCommand([this] { procedure_->Run(); }); });
  connect(cancel_, &QPushButton::clicked, this, &frmMain::CancelClicked);
  connect(quit_, &QPushButton::clicked, this, &frmMain::EndProgram);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { ListDoubleClicked(); });
  connect(active_, &QRadioButton::clicked, this, [this] { ftp_->SetModeActive(); });
  connect(passive_, &QRadioButton::clicked, this, [this] { ftp_->SetModePassive(); });
  connect(binary_, &QRadioButton::clicked, this, [this] { ftp_->SetTransferBinary(); });
  connect(ascii_, &QRadioButton::clicked, this, [this] { ftp_->SetTransferASCII(); });
}

void frmMain::PlaceWindow() {
  adjustSize();
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  constexpr int kTwipsPerPixel = 15;
  move(screen.center().x() - width() / 2,
       screen.center().y() - height() / 2 - 1000 / kTwipsPerPixel);
}

void frmMain::SetLabel(UpdateLabel label, const std::string& text) {
  QLabel* target = label == UpdateLabel::kLabel4   ? label4_
                   : label == UpdateLabel::kLabel7 ? label7_
                   : label == UpdateLabel::kLabel8 ? label8_
                   : label == UpdateLabel::kLabel9 ? label9_
                                                   : directory_;
  target->setText(Q(text));
}

void frmMain::SetBar(UpdateBar bar, int value, int maximum) {
  QProgressBar* target = bar == UpdateBar::kPb ? pb_ : pb2_;
  target->setRange(0, maximum);
  target->setValue(value);
}

void frmMain::ShowListing(const cDirList* listing) {
  list_->clear();
  if (listing == nullptr) return;
  const QIcon folder = style()->standardIcon(QStyle::SP_DirIcon);
  const QIcon file = style()->standardIcon(QStyle::SP_FileIcon);
  auto* up = new QTreeWidgetItem(list_, {QStringLiteral("..")});
  up->setIcon(0, folder);
  for (const cDirItem& item : *listing) {
    auto* row = new QTreeWidgetItem(list_, {Q(item.Filename)});
    if (item.Directory) {
      row->setIcon(0, folder);
      row->setText(1, QStringLiteral("< Directory >"));
    } else {
      row->setIcon(0, file);
      row->setText(1, QString::number(item.FileSize));
      row->setText(2, DateText(item.LastWriteTime));
      row->setText(3, Q(item.AttributeText()));
    }
  }
}

template <typename Command>
void frmMain::FtpCommand(Command command) {
  if (ftp_busy_) return;
  ftp_busy_ = true;
  UpdateButtons();
  command();
  ftp_busy_ = false;
  UpdateButtons();
}

void frmMain::UpdateButtons() {
  connect_->setEnabled(!ftp_busy_);
  download_->setEnabled(download_offered_ && !ftp_busy_);
}

void frmMain::ProcedureRunning(bool running) {
  download_offered_ = false;
  UpdateButtons();
  cancel_->setVisible(running);
  quit_->setVisible(!running);
  (running ? cancel_ : quit_)->setFocus();
}

void frmMain::SetWindowShown(bool shown) { setVisible(shown); }

void frmMain::LetPendingEventsRun() { QCoreApplication::processEvents(); }

void frmMain::EndProgram() {
  ended_ = true;
  ftp_->CloseConnection();
  hide();
  // Queued, so that it also ends the program when called before the event loop runs.
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

std::string frmMain::Server() { return S(server_->text()); }
std::string frmMain::User() { return S(user_->text()); }
std::string frmMain::Password() { return S(password_->text()); }

void frmMain::ConnectClicked() {
  FtpCommand([this] { procedure_->Connect(); });
}

void frmMain::DisconnectClicked() { procedure_->Disconnect(); }

void frmMain::CancelClicked() {
  cancel_->hide();
  quit_->show();
  procedure_->Cancel();
  quit_->setFocus();
}

void frmMain::ListDoubleClicked() {
  QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr) return;
  const std::string entry = S(item->text(0));
  FtpCommand([this, &entry] { procedure_->Open(entry); });
}

void frmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && !ended_) {
    FtpCommand([this] { procedure_->Activated(); });
  }
}

void frmMain::closeEvent(QCloseEvent* event) {
  ftp_->CloseConnection();
  event->accept();
}

}  // namespace netvane::updater
