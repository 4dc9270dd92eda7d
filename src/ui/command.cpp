#include "ui/command.h"

void UpdatePopupMenu(HMENU popup, CCommandTarget& router)
{
    int count = ::GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        UINT id = ::GetMenuItemID(popup, i);
        if (id == 0 || id == static_cast<UINT>(-1))
            continue;
        CCommandUI ui(id);
        if (!router.OnUpdateCommand(ui))
            continue;
        ::EnableMenuItem(popup, static_cast<UINT>(i),
                         MF_BYPOSITION | (ui.IsEnabled() ? MF_ENABLED : MF_GRAYED));
        ::CheckMenuItem(popup, static_cast<UINT>(i),
                        MF_BYPOSITION | (ui.IsChecked() ? MF_CHECKED : MF_UNCHECKED));
    }
}
