/* The shield dialog's template and its text control: read by the C++ code
   and by the resource compiler, so only #define. Clear of the ids in
   common/resource_ids.h. */
#pragma once

#define IDD_SHIELD_ICON 136
#define IDC_SHIELD_TEXT 1010
