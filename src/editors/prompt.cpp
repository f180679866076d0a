#include "editors/prompt.h"

#include <QMessageBox>

namespace netvane::editors {
namespace {

QMessageBox::Icon ToQt(engine::PromptIcon icon) {
  switch (icon) {
    case engine::PromptIcon::kInformation:
      return QMessageBox::Information;
    case engine::PromptIcon::kQuestion:
      return QMessageBox::Question;
    case engine::PromptIcon::kExclamation:
      return QMessageBox::Warning;
    case engine::PromptIcon::kCritical:
      return QMessageBox::Critical;
    case engine::PromptIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

engine::PromptAnswer QtPrompt::Show(const std::string& text, engine::PromptIcon icon,
                                    engine::PromptButtons buttons) {
  // Engine texts break lines the Windows way; a box wants plain line feeds.
  QString body = QString::fromStdString(text);
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));

  const bool yes_no = buttons == engine::PromptButtons::kYesNo;
  QMessageBox box(ToQt(icon), title_, body,
                  yes_no ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent_);
  // The first button is the default, as in the system's message boxes.
  box.setDefaultButton(yes_no ? QMessageBox::Yes : QMessageBox::Ok);
  const int result = box.exec();

  if (!yes_no) return engine::PromptAnswer::kOk;
  return result == QMessageBox::Yes ? engine::PromptAnswer::kYes : engine::PromptAnswer::kNo;
}

}  // namespace netvane::editors
