// What the new-location wizard and the property editor share: the services they work with,
// the adapter combo box, the program path check, address lists and connection kinds.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "editors/seams.h"
#include "engine/app_state.h"
#include "platform/shell.h"
#include "prompt/user_prompt.h"
#include "qt_common/controls.h"
#include "store/location_store.h"
#include "store/registry_access.h"
#include "store/settings.h"

class QComboBox;
class QLabel;
class QListWidget;
class QLineEdit;
class QWidget;

namespace netvane::editors {

struct EditorServices {
  engine::AppState& state;
  store::LocationStore& locations;
  store::SettingsStore& settings;
  store::RegistryAccess& registry;
  platform::Shell& shell;
  UserPrompt& prompt;
  FileChooser& files;
  PrinterList& printers;
  DialogRunner& dialogs;
};

// The helpers every window shares, under the editors' names too.
using qt_common::NewButton;
using qt_common::NoDefaultButtons;
using qt_common::Q;
using qt_common::S;

// The adapters as combo box items: the description as text, and the key "K_", the entry's
// number in four digits and its identifier.
void FillNicCombo(QComboBox* combo, const store::AdapterTable& adapters);
// The identifier in an item key (everything from its seventh character on).
std::string AdapterIdFromKey(const QString& key);
// The adapter the combo box names: the selected item, else the last item whose text equals
// the box's text. False, with nothing changed, when none does.
bool AdapterFromCombo(const QComboBox* combo, std::string* id, std::string* name);

// Whether `path` names an existing program file: the directory search must find a file whose
// name ends the path (compared without regard to case, in bytes of the ANSI code page).
bool ProgramPathCheck(const std::string& path, platform::Shell& shell,
                      store::RegistryAccess& registry);

// The Search command beside a program box: the chosen file goes into `box`; a cancelled
// file dialog leaves what was typed.
void SearchProgram(FileChooser& files, QWidget* parent, QLineEdit* box);

// The rows of a list joined by "," (empty for no rows).
std::string JoinRows(const QListWidget* list);

// The connection kinds in the order of their option buttons (optStep1), and the ADSL modem
// types in the order of theirs (optStep2).
enum class ConnectionKind { kDhcp, kStaticIp, kCableModem, kAdsl, kKtAdsl };
enum class AdslType { kInModem, kUsbModem, kOutPppModem, kOutRasModem };
inline constexpr int kConnectionKinds = 5;
inline constexpr int kAdslTypes = 4;

// The connection kind of the option buttons (the modem type counts for kAdsl only).
std::string ServiceTypeFor(ConnectionKind kind, AdslType adsl);
// The option buttons of a connection kind (the modem type is set for kAdsl only); false for a
// kind outside the eight.
bool KindIndexesFor(const std::string& service_type, ConnectionKind* kind, AdslType* adsl);
// The ADSL kinds start a connection program.
bool LaunchesProgram(ConnectionKind kind);

// Selects the whole text of a line edit whenever it gets the focus.
void SelectAllOnFocus(QLineEdit* edit);

// Leading and trailing blanks off, as the program has always trimmed its texts.
QString TrimBlanks(const QString& text);

class IpAddressControl;
// Add: the control's value goes to the end of the list when it is a valid address; an
// incomplete one adds nothing and says nothing.
void AddAddressRow(IpAddressControl* box, QListWidget* list);
// Remove: the selected row, if there is one.
void RemoveSelectedRow(QListWidget* list);

// Controls named as the windows name them.
QLabel* NewLabel(QWidget* parent, const char* name, const QString& text);  // word-wrapped
IpAddressControl* NewAddress(QWidget* parent, const char* name);

}  // namespace netvane::editors
