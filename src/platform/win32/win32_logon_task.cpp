#include "platform/win32/win32_logon_task.h"

#include "platform/win32/win32_com.h"
// After windows.h, which they rely on.
#include <taskschd.h>

#include <vector>

namespace netvane::platform {
namespace {

constexpr char kSource[] = "Task Scheduler";

void Check(HRESULT hr) {
  if (FAILED(hr)) throw ComError(hr, kSource);
}

// "DOMAIN\user" of the account this program runs as, from its token (advapi32 only: every
// program links this file, and most never register a task).
std::string CurrentUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) throw LastError(kSource);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  const BOOL ok = size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  const PlatformError error = LastError(kSource);
  CloseHandle(token);
  if (!ok) throw error;
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
  wchar_t name[256] = {};
  wchar_t domain[256] = {};
  DWORD name_size = 256;
  DWORD domain_size = 256;
  SID_NAME_USE use{};
  if (!LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use)) {
    throw LastError(kSource);
  }
  return Utf8FromWide(std::wstring_view(domain, domain_size)) + "\\" +
         Utf8FromWide(std::wstring_view(name, name_size));
}

// The scheduler's root folder, connected as the current user.
void ConnectRoot(ComPtr<ITaskService>& service, ComPtr<ITaskFolder>& root) {
  Check(CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER,
                         __uuidof(ITaskService), service.void_out()));
  VARIANT none;
  VariantInit(&none);
  Check(service->Connect(none, none, none, none));
  const Bstr path("\\");
  Check(service->GetFolder(path.get(), root.out()));
}

}  // namespace

void Win32LogonTask::Register(const std::string& name, const std::string& program,
                              const std::string& arguments) {
  ComScope com;
  ComPtr<ITaskService> service;
  ComPtr<ITaskFolder> root;
  ConnectRoot(service, root);
  // The definition as XML: the scheduler's object model has no logon trigger in every
  // implementation of it, its XML has.
  const Bstr xml(
      LogonTaskXml(CurrentUser(), program, arguments, "Starts " + name + " when you log on."));
  const Bstr task_name(name);
  VARIANT none;
  VariantInit(&none);
  ComPtr<IRegisteredTask> registered;
  Check(root->RegisterTask(task_name.get(), xml.get(), TASK_CREATE_OR_UPDATE, none, none,
                           TASK_LOGON_INTERACTIVE_TOKEN, none, registered.out()));
}

void Win32LogonTask::Remove(const std::string& name) {
  ComScope com;
  ComPtr<ITaskService> service;
  ComPtr<ITaskFolder> root;
  ConnectRoot(service, root);
  const Bstr task_name(name);
  const HRESULT hr = root->DeleteTask(task_name.get(), 0);
  if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return;
  Check(hr);
}

}  // namespace netvane::platform
