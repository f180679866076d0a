// Resource ids shared by nvefilter.rc and main_win32.cpp. The string, menu, accelerator and
// icon numbers are the ones the tool has always carried.
#pragma once

#define IDS_APP_TITLE 103
#define IDI_SMALL 108
#define IDS_WINDOW_CLASS 129
#define IDR_MAIN_MENU 129
#define IDR_ACCELERATORS 129
#define IDI_NVEFILTER 130
#define IDD_ABOUT 140

#define IDM_EXIT 40001
#define IDM_ABOUT 40002

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
