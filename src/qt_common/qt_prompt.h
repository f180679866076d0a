// The Qt side of the message boxes: a modal QMessageBox titled "Netvane 2.0".
#pragma once

#include <QString>

#include "prompt/user_prompt.h"

class QWidget;

namespace netvane::qt_common {

class QtPrompt : public UserPrompt {
 public:
  explicit QtPrompt(QWidget* parent = nullptr, QString title = QStringLiteral("Netvane 2.0"))
      : parent_(parent), title_(std::move(title)) {}
  PromptAnswer Show(const std::string& text, PromptIcon icon, PromptButtons buttons) override;
  void SetParent(QWidget* parent) { parent_ = parent; }

 private:
  QWidget* parent_;
  QString title_;
};

}  // namespace netvane::qt_common
