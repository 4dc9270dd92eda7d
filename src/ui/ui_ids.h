// Ids the window layer itself gives a meaning to.
#pragma once

// Closes the application's main window.
#define ID_APP_EXIT 57665
// The child window that fills a frame's client area.
#define AFX_IDW_PANE_FIRST 0xE900
