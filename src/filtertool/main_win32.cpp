// NVEFilter on Windows: a GUI program that never shows its window. It switches the filter,
// then quits through its own message loop.
#include "platform/win32/windows_api.h"

#include "filtertool/filter_tool.h"
#include "filtertool/resource.h"
#include "platform/win32/win32_device.h"

namespace {

constexpr int kMaxLoadString = 100;

HINSTANCE g_instance = nullptr;

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDM_ABOUT:
          DialogBoxA(g_instance, MAKEINTRESOURCEA(IDD_ABOUT), window, AboutProc);
          return 0;
        case IDM_EXIT:
          DestroyWindow(window);
          return 0;
        default:
          break;
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

ATOM RegisterMainClass(HINSTANCE instance, const char* class_name) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_NVEFILTER));
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszMenuName = MAKEINTRESOURCEA(IDR_MAIN_MENU);
  wc.lpszClassName = class_name;
  wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_SMALL));
  return RegisterClassExA(&wc);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
  g_instance = instance;
  char title[kMaxLoadString] = {};
  char class_name[kMaxLoadString] = {};
  LoadStringA(instance, IDS_APP_TITLE, title, kMaxLoadString);
  LoadStringA(instance, IDS_WINDOW_CLASS, class_name, kMaxLoadString);
  RegisterMainClass(instance, class_name);

  if (command_line == nullptr || command_line[0] == '\0') return 0;

  HWND window = CreateWindowA(class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                              CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 0;
  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

  // The command line goes to the driver as the system gave it, in the ANSI code page.
  netvane::platform::Win32Device device;
  netvane::filtertool::RunFilterCommand(command_line, device);

  PostQuitMessage(0);
  MSG msg{};
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}
