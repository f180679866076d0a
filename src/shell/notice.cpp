#include "shell/notice.h"

#include <QCheckBox>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "qt_common/controls.h"

namespace netvane::shell {

using qt_common::NamedLabel;

frmNotice::frmNotice(store::SettingsStore& store, store::Settings& settings, QWidget* parent)
    : QDialog(parent), store_(store), settings_(settings) {
  setObjectName(QStringLiteral("frmNotice"));
  setWindowTitle(QStringLiteral("Netvane 2.0 - Notice"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* icon = new QLabel(this);
  icon->setObjectName(QStringLiteral("imgNotice"));
  icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);

  QLabel* heading = NamedLabel(this, "Label1", QStringLiteral("Notice for Windows NT/2000 User"));
  QFont bold = heading->font();
  bold.setBold(true);
  heading->setFont(bold);

  auto* texts = new QVBoxLayout;
  texts->addWidget(heading);
  texts->addSpacing(8);
  texts->addWidget(
      NamedLabel(this, "Label2",
                 QStringLiteral("If DHCP Server is running in your computer, Netvane  2.0 could")));
  texts->addWidget(NamedLabel(this, "Label3", QStringLiteral("run irregularly.")));
  texts->addSpacing(8);
  texts->addWidget(
      NamedLabel(this, "Label4", QStringLiteral("Please refer to Help of this program.")));

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addSpacing(8);
  top->addLayout(texts, 1);

  chkIsShow = new QCheckBox(QStringLiteral("Do not display further"), this);
  chkIsShow->setObjectName(QStringLiteral("chkIsShow"));
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setDefault(true);
  cmdOK->setMinimumWidth(90);
  connect(cmdOK, &QPushButton::clicked, this, &frmNotice::OkClicked);

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(chkIsShow);
  bottom->addStretch(1);
  bottom->addWidget(cmdOK);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->addLayout(top);
  layout->addSpacing(16);
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void frmNotice::OkClicked() {
  // A ticked box turns the notice off for good; otherwise it comes again next time.
  store_.WriteNoticeView(!chkIsShow->isChecked(), settings_);
  accept();
}

}  // namespace netvane::shell
