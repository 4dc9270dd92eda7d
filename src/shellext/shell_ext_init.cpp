// IShellExtInit of CShellExt: decides from the selection whether the context
// menu gets an item, and which one.
#include "shellext/shell_ext.h"

#include <shellapi.h>

#include "shellext/container_name.h"
#include "shellext/os_family.h"
#include "shellext/target_drives.h"

namespace {

// The medium a data object hands out, released on every path.
class StorageMedium final {
public:
    StorageMedium() = default;
    StorageMedium(const StorageMedium&) = delete;
    StorageMedium& operator=(const StorageMedium&) = delete;
    ~StorageMedium() {
        if (held_) ReleaseStgMedium(&medium_);
    }

    [[nodiscard]] bool GetFrom(IDataObject* data, FORMATETC* format) {
        held_ = SUCCEEDED(data->GetData(format, &medium_));
        return held_;
    }
    const STGMEDIUM& Get() const { return medium_; }

private:
    STGMEDIUM medium_ = {};
    bool held_ = false;
};

}  // namespace

STDMETHODIMP CShellExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    // A second call starts over.
    ReleaseDataObject();
    showItem = 0;
    selectedPath[0] = L'\0';
    if (data == nullptr) return S_OK;
    data->AddRef();
    dataObject = data;

    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    StorageMedium medium;
    if (!medium.GetFrom(data, &format)) return S_OK;
    if (medium.Get().tymed != TYMED_HGLOBAL || medium.Get().hGlobal == nullptr) return S_OK;
    HDROP drop = static_cast<HDROP>(medium.Get().hGlobal);

    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) != 1) return S_OK;
    // A path that does not fit would be cut and then name another file.
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0 || length >= MAX_PATH) return S_OK;
    if (DragQueryFileW(drop, 0, selectedPath, MAX_PATH) != length) {
        selectedPath[0] = L'\0';
        return S_OK;
    }

    if (HasContainerExtension(selectedPath)) {
        showItem = 1;
        compressItem = 0;
        return S_OK;
    }
    wchar_t drive[3];
    DrivePartOf(selectedPath, drive);
    if (drive[0] != L'\0' && IsTargetDrive(drive, IsNt6Family())) {
        showItem = 1;
        compressItem = 1;
    }
    return S_OK;
}
