// Small helpers the windows of Netvane and NVEupdate share: text between the code's UTF-8 and
// Qt, controls named as the windows name them, and the windows' button behaviour.
#pragma once

#include <QString>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace netvane::qt_common {

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

QLabel* NamedLabel(QWidget* parent, const char* name, const QString& text = QString());
QPushButton* NewButton(QWidget* parent, const char* name, const QString& text);

// Disables every default-button behaviour, so that Enter does only what the windows say.
void NoDefaultButtons(QWidget* window);

}  // namespace netvane::qt_common
