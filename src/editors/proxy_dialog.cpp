#include "editors/proxy_dialog.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "editors/proxy_rows.h"
#include "qt_common/controls.h"

namespace netvane::editors {
namespace {

using qt_common::NamedLabel;
using qt_common::NewButton;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }
std::string ToUtf8(const QString& text) { return text.toStdString(); }

}  // namespace

frmProxy::frmProxy(engine::AppState& state, UserPrompt& prompt, QWidget* parent)
    : QDialog(parent), state_(state), prompt_(prompt) {
  setObjectName(QStringLiteral("frmProxy"));
  setWindowTitle(QStringLiteral("Netvane 2.0 - Proxy settings"));
  setModal(true);

  // Window background for usable boxes; disabled ones take the dialog's face colour, the
  // nearest this palette has to the inactive-border colour.
  enabled_back_ = palette().color(QPalette::Active, QPalette::Base);
  disabled_back_ = palette().color(QPalette::Active, QPalette::Window);

  QFrame* frame = BuildServerFrame();
  QLayout* buttons = BuildButtons();
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(frame);
  outer->addLayout(buttons);

  SetTrueFalse(kind_, QStringLiteral("True"), 0, 4);
  SetTrueFalse(port_, QStringLiteral("True"), 0, 4);

  // toggled, not clicked: ticking the box from Load must disable the rows too.
  connect(all_, &QCheckBox::toggled, this, &frmProxy::OnAllProtocolsToggled);
  connect(ok_, &QPushButton::clicked, this, &frmProxy::OnOk);
  connect(cancel_, &QPushButton::clicked, this, &frmProxy::OnCancel);
  connect(reset_, &QPushButton::clicked, this, &frmProxy::OnReset);

  Load();
}

QFrame* frmProxy::BuildServerFrame() {
  auto* frame = new QFrame(this);
  frame->setObjectName(QStringLiteral("SSFrame3"));
  frame->setFrameShape(QFrame::StyledPanel);
  auto* grid = new QGridLayout(frame);

  auto* heading = NamedLabel(
      frame, "Label27",
      QStringLiteral("Enables to set Proxy server.   (For Internet Explorer User Only)"));
  auto* instruction = NamedLabel(
      frame, "Label26",
      QStringLiteral(
          "Fill the following entries up with valid address if you need  to set proxy."));
  instruction->setWordWrap(true);
  grid->addWidget(heading, 0, 0, 1, 3);
  grid->addWidget(instruction, 1, 0, 1, 3);
  grid->addWidget(NamedLabel(frame, "Label36", QStringLiteral(" Type")), 2, 0);
  grid->addWidget(NamedLabel(frame, "Label10", QStringLiteral("Proxy Server")), 2, 1);
  grid->addWidget(NamedLabel(frame, "Label13", QStringLiteral("Port")), 2, 2);
  AddServerRows(frame, grid);

  all_ = new QCheckBox(QStringLiteral("Use the same proxy for all protocols."), frame);
  all_->setObjectName(QStringLiteral("ChkExpALL"));
  grid->addWidget(all_, 8, 0, 1, 3);
  return frame;
}

void frmProxy::AddServerRows(QWidget* frame, QGridLayout* grid) {
  for (int i = 0; i < 5; ++i) {
    const auto at = static_cast<size_t>(i);
    kind_[at] = new QLineEdit(frame);
    kind_[at]->setObjectName(QStringLiteral("txtExpKind(%1)").arg(i));
    port_[at] = new QLineEdit(frame);
    port_[at]->setObjectName(QStringLiteral("txtExpPort(%1)").arg(i));
    port_[at]->setMaximumWidth(80);
    grid->addWidget(new QLabel(QString::fromLatin1(kProxyRows[at].label), frame), 3 + i, 0);
    grid->addWidget(kind_[at], 3 + i, 1);
    grid->addWidget(port_[at], 3 + i, 2);
  }
  // Tab order follows the rows: address, then port.
  for (size_t i = 0; i < 5; ++i) {
    setTabOrder(kind_[i], port_[i]);
    if (i + 1 < 5) setTabOrder(port_[i], kind_[i + 1]);
  }
}

QLayout* frmProxy::BuildButtons() {
  ok_ = NewButton(this, "cmdOK", QStringLiteral("OK"));
  cancel_ = NewButton(this, "cmdCancel", QStringLiteral("Cancel"));
  reset_ = NewButton(this, "cmdNew", QStringLiteral("Reset"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  buttons->addWidget(reset_);
  return buttons;
}

void frmProxy::Load() {
  const store::ProxySettings& proxy = state_.PendingProxy;
  if (!state_.PendingProxySet) {
    all_->setChecked(false);
    ClearAll();
  } else if (proxy.AllProtocolSameProxy) {
    all_->setChecked(true);
    kind_[0]->setText(FromUtf8(proxy.DefaultAddress));
    port_[0]->setText(FromUtf8(proxy.DefaultPort));
  } else {
    all_->setChecked(false);
    for (size_t i = 0; i < kProxyRows.size(); ++i) {
      kind_[i]->setText(FromUtf8(proxy.*kProxyRows[i].address));
      port_[i]->setText(FromUtf8(proxy.*kProxyRows[i].port));
    }
  }
}

void frmProxy::SetTrueFalse(const BoxArray& boxes, const QString& flag, int first, int last) {
  const bool enabled = flag == QLatin1String("True");
  for (int i = first; i <= last; ++i) {
    QLineEdit* box = boxes[static_cast<size_t>(i)];
    box->setEnabled(enabled);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, enabled ? enabled_back_ : disabled_back_);
    box->setPalette(pal);
  }
}

void frmProxy::ClearAll() {
  for (size_t i = 0; i < 5; ++i) {
    kind_[i]->clear();
    port_[i]->clear();
  }
}

void frmProxy::OnAllProtocolsToggled(bool checked) {
  const QString flag = checked ? QStringLiteral("False") : QStringLiteral("True");
  SetTrueFalse(kind_, flag, 1, 4);
  SetTrueFalse(port_, flag, 1, 4);
}

void frmProxy::OnOk() {
  for (size_t i = 0; i < 5; ++i) {
    if (!kind_[i]->text().isEmpty() && port_[i]->text().isEmpty()) {
      port_[i]->setFocus();
      prompt_.Show("Input Port number.", PromptIcon::kNone, PromptButtons::kOk);
      return;
    }
  }
  for (size_t i = 0; i < 5; ++i) {
    if (!port_[i]->text().isEmpty() && kind_[i]->text().isEmpty()) {
      kind_[i]->setFocus();
      prompt_.Show("Input proxy server.", PromptIcon::kNone, PromptButtons::kOk);
      return;
    }
  }

  int filled = 0;
  for (QLineEdit* box : kind_) {
    if (!box->text().isEmpty()) ++filled;
  }

  if (filled > 0) {
    store::ProxySettings proxy;
    if (all_->isChecked()) {
      proxy.AllProtocolSameProxy = true;
      proxy.DefaultAddress = ToUtf8(kind_[0]->text());
      proxy.DefaultPort = ToUtf8(port_[0]->text());
    } else {
      proxy.AllProtocolSameProxy = false;
      for (size_t i = 0; i < kProxyRows.size(); ++i) {
        proxy.*kProxyRows[i].address = ToUtf8(kind_[i]->text());
        proxy.*kProxyRows[i].port = ToUtf8(port_[i]->text());
      }
    }
    state_.PendingProxySet = true;
    state_.PendingProxy = proxy;
  } else {
    state_.PendingProxySet = false;
  }
  accept();
}

void frmProxy::OnCancel() {
  all_->setChecked(false);
  ClearAll();
  reject();
}

void frmProxy::OnReset() {
  all_->setChecked(false);
  SetTrueFalse(kind_, QStringLiteral("True"), 0, 4);
  SetTrueFalse(port_, QStringLiteral("True"), 0, 4);
  ClearAll();
  kind_[0]->setFocus();
}

void frmProxy::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  kind_[0]->setFocus();
}

void frmProxy::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  kind_[0]->setFocus();
}

}  // namespace netvane::editors
