#include "platform/win32/win32_shell.h"

#include "platform/win32/win32_com.h"
// After windows.h, which they rely on.
#include <shellapi.h>
#include <shldisp.h>

#include "platform/win_codes.h"

namespace netvane::platform {
namespace {

constexpr char kSource[] = "Shell.Application";

// ShellExecute's default verb on `path`; its result (above 32 is success).
int32_t Execute(const std::string& path, const std::string& folder) {
  const HINSTANCE result = ShellExecuteW(nullptr, nullptr, WideFromUtf8(path).c_str(), nullptr,
                                         WideFromUtf8(folder).c_str(), SW_SHOWNORMAL);
  return static_cast<int32_t>(reinterpret_cast<INT_PTR>(result));
}

}  // namespace

std::string Win32Shell::ExistingName(const std::string& path) {
  // Wildcards would name the first match rather than the path itself.
  if (path.empty() || path.find_first_of("*?") != std::string::npos) return std::string();
  WIN32_FIND_DATAA found{};
  HANDLE find = FindFirstFileA(codepage_.ToAnsi(path).c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return std::string();
  FindClose(find);
  return codepage_.FromAnsi(found.cFileName);
}

std::string Win32Shell::FindFile(const std::string& pattern) {
  if (pattern.empty()) return std::string();
  WIN32_FIND_DATAA found{};
  HANDLE find = FindFirstFileA(codepage_.ToAnsi(pattern).c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return std::string();
  constexpr DWORD kNotFiles =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  std::string name;
  do {
    if ((found.dwFileAttributes & kNotFiles) == 0) {
      name = codepage_.FromAnsi(found.cFileName);
      break;
    }
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return name;
}

void Win32Shell::InvokeDefaultVerb(const std::string& folder, const std::string& name) {
  ComScope com;
  ComPtr<IShellDispatch> shell;
  HRESULT hr = CoCreateInstance(CLSID_Shell, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                IID_IShellDispatch, reinterpret_cast<void**>(shell.out()));
  if (FAILED(hr) || !shell) throw ComError(FAILED(hr) ? hr : E_NOINTERFACE, kSource);

  Bstr folder_text(folder);
  VARIANT dir;
  VariantInit(&dir);
  dir.vt = VT_BSTR;
  dir.bstrVal = folder_text.get();
  ComPtr<Folder> place;
  // A folder that does not exist gives no folder object, with or without a failing result.
  hr = shell->NameSpace(dir, place.out());
  if (FAILED(hr) || !place) {
    throw PlatformError(kErrorPathNotFound, "The system cannot find the path specified.", kSource);
  }

  Bstr name_text(name);
  ComPtr<FolderItem> item;
  hr = place->ParseName(name_text.get(), item.out());
  if (FAILED(hr) || !item) {
    throw PlatformError(kErrorFileNotFound, "The system cannot find the file specified.", kSource);
  }

  VARIANT verb;
  VariantInit(&verb);  // empty: the item's default verb
  hr = item->InvokeVerb(verb);
  if (SUCCEEDED(hr)) return;
  // Some shells (Wine's among them) do not carry out InvokeVerb; the item's default verb
  // through ShellExecute does the same there.
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += name;
  if (Execute(path, folder) > kShellExecuteLastError) return;
  throw ComError(hr, kSource);
}

int32_t Win32Shell::OpenDocument(const std::string& path) {
  const HINSTANCE result = ShellExecuteA(GetDesktopWindow(), "open", codepage_.ToAnsi(path).c_str(),
                                         nullptr, nullptr, SW_SHOWNORMAL);
  return static_cast<int32_t>(reinterpret_cast<INT_PTR>(result));
}

}  // namespace netvane::platform
