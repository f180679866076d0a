#include "editors/editor_common.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include "editors/ip_address_control.h"
#include "platform/platform_error.h"
#include "platform/text.h"

namespace netvane::editors {

void FillNicCombo(QComboBox* combo, const store::AdapterTable& adapters) {
  combo->clear();
  for (size_t i = 0; i < adapters.size(); ++i) {
    const QString number = QStringLiteral("0000%1").arg(i).right(4);
    combo->addItem(Q(adapters[i].Description),
                   QStringLiteral("K_") + number + Q(adapters[i].AdapterId));
  }
  if (combo->count() > 0) combo->setCurrentIndex(0);
}

std::string AdapterIdFromKey(const QString& key) { return S(key.mid(6)); }

bool AdapterFromCombo(const QComboBox* combo, std::string* id, std::string* name) {
  if (combo->currentIndex() >= 0) {
    *id = AdapterIdFromKey(combo->currentData().toString());
    *name = S(combo->itemText(combo->currentIndex()));
    return true;
  }
  bool found = false;
  for (int i = 0; i < combo->count(); ++i) {
    if (combo->itemText(i) == combo->currentText()) {
      *id = AdapterIdFromKey(combo->itemData(i).toString());
      *name = S(combo->itemText(i));
      found = true;
    }
  }
  return found;
}

void SearchProgram(FileChooser& files, QWidget* parent, QLineEdit* box) {
  const QString chosen = files.ChooseFile(parent);
  if (!chosen.isEmpty()) box->setText(chosen);
  box->setFocus();
}

bool ProgramPathCheck(const std::string& path, platform::Shell& shell,
                      store::RegistryAccess& registry) {
  std::string name;
  try {
    name = shell.FindFile(path);
  } catch (const platform::PlatformError&) {
    return false;
  }
  if (name.empty()) return false;
  const std::string tail = registry.AnsiRightBytes(path, registry.AnsiByteLength(name));
  return Q(tail).compare(Q(name), Qt::CaseInsensitive) == 0;
}

std::string JoinRows(const QListWidget* list) {
  QStringList rows;
  for (int i = 0; i < list->count(); ++i) rows << list->item(i)->text();
  return S(rows.join(QLatin1Char(',')));
}

std::string ServiceTypeFor(ConnectionKind kind, AdslType adsl) {
  switch (kind) {
    case ConnectionKind::kDhcp:
      return std::string(store::kUseDhcp);
    case ConnectionKind::kStaticIp:
      return std::string(store::kUseStaticIp);
    case ConnectionKind::kCableModem:
      return std::string(store::kUseCableModem);
    case ConnectionKind::kAdsl: {
      static const std::string_view kAdsl[kAdslTypes] = {
          store::kUseHanaroInModem, store::kUseHanaroUsbModem, store::kUseHanaroOutPppModem,
          store::kUseHanaroOutRasModem};
      const int i = static_cast<int>(adsl);
      return std::string(kAdsl[i >= 0 && i < kAdslTypes ? i : 0]);
    }
    case ConnectionKind::kKtAdsl:
      break;
  }
  return std::string(store::kUseKtAdsl);
}

bool KindIndexesFor(const std::string& service_type, ConnectionKind* kind, AdslType* adsl) {
  for (int k = 0; k < kConnectionKinds; ++k) {
    const auto candidate = static_cast<ConnectionKind>(k);
    const int types = candidate == ConnectionKind::kAdsl ? kAdslTypes : 1;
    for (int a = 0; a < types; ++a) {
      if (ServiceTypeFor(candidate, static_cast<AdslType>(a)) == service_type) {
        *kind = candidate;
        if (candidate == ConnectionKind::kAdsl) *adsl = static_cast<AdslType>(a);
        return true;
      }
    }
  }
  return false;
}

bool LaunchesProgram(ConnectionKind kind) {
  return kind == ConnectionKind::kAdsl || kind == ConnectionKind::kKtAdsl;
}

namespace {

// Selects a line edit's whole text after Qt has placed the caret for the focus change.
class SelectAllFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) {
      auto* edit = static_cast<QLineEdit*>(watched);
      QTimer::singleShot(0, edit,
                         [edit] { edit->setSelection(0, static_cast<int>(edit->text().size())); });
    }
    return false;
  }
};

}  // namespace

void SelectAllOnFocus(QLineEdit* edit) { edit->installEventFilter(new SelectAllFilter(edit)); }

QString TrimBlanks(const QString& text) {
  const auto [first, end] = platform::TrimmedBounds(text, platform::kIsSpace);
  return text.mid(first, end - first);
}

void AddAddressRow(IpAddressControl* box, QListWidget* list) {
  if (box->IPValidCheck()) list->addItem(box->GetIp());
}

void RemoveSelectedRow(QListWidget* list) {
  if (list->currentRow() >= 0 && list->currentItem()->isSelected()) {
    delete list->takeItem(list->currentRow());
  }
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text) {
  QLabel* label = qt_common::NamedLabel(parent, name, text);
  label->setWordWrap(true);
  return label;
}

IpAddressControl* NewAddress(QWidget* parent, const char* name) {
  auto* control = new IpAddressControl(parent);
  control->setObjectName(QString::fromLatin1(name));
  return control;
}

}  // namespace netvane::editors
