/* Resource ids of the tray program's own about box and embedded servers.
   Read by the C++ code and by the resource compiler, so only #define. */
#pragma once

#define IDD_ABOUT 100
#define IDC_ABOUT_PRODUCT 1002
#define IDC_ABOUT_NOTICE 1003
#define IDC_ABOUT_LINK 1009
#define IDC_ABOUT_WEBSITE 1011

/* The framework's standard about command, next to the tray menu's. */
#define ID_APP_ABOUT 57664
