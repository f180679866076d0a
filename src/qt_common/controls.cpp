#include "qt_common/controls.h"

#include <QLabel>
#include <QPushButton>

namespace netvane::qt_common {

QLabel* NamedLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

void NoDefaultButtons(QWidget* window) {
  for (QPushButton* b : window->findChildren<QPushButton*>()) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }
}

}  // namespace netvane::qt_common
