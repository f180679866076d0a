#include "qt_common/qt_prompt.h"

#include <QMessageBox>

namespace netvane::qt_common {
namespace {

QMessageBox::Icon ToQt(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::kInformation:
      return QMessageBox::Information;
    case PromptIcon::kQuestion:
      return QMessageBox::Question;
    case PromptIcon::kExclamation:
      return QMessageBox::Warning;
    case PromptIcon::kCritical:
      return QMessageBox::Critical;
    case PromptIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

PromptAnswer QtPrompt::Show(const std::string& text, PromptIcon icon, PromptButtons buttons) {
  // Engine texts break lines the Windows way; a box wants plain line feeds.
  QString body = QString::fromStdString(text);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

  const bool yes_no = buttons == PromptButtons::kYesNo;
  QMessageBox box(ToQt(icon), title_, body,
                  yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent_);
  // The first button is the default, as in the system's message boxes.
  box.setDefaultButton(yes_no ? QMessageBox::Yes : QMessageBox::Ok);
  const int result = box.exec();

  if (!yes_no) return PromptAnswer::kOk;
  return result == QMessageBox::Yes ? PromptAnswer::kYes : PromptAnswer::kNo;
}

}  // namespace netvane::qt_common
