#include "tray/main_frame.h"

CMainFrame::CMainFrame() : currentFileName_{}, trayIcon_{} {}
CMainFrame::~CMainFrame() = default;
bool CMainFrame::CreateFrame() { return false; }
void CMainFrame::ReportStartupFailure(uint32_t) {}
void CMainFrame::RetireProgressDialog() {}
