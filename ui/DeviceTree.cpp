#include "ui/DeviceTree.h"

#include <commctrl.h>

#include <cstdint>

#include "engine/OutputNames.h"
#include "ui/resource.h"

namespace {

DWORD const kTreeStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | TVS_HASLINES;  // 0x50800002
// Added after creation and before the first item: the tree makes its check-box images then.
LONG_PTR const kAddedStyle = TVS_NOHSCROLL | TVS_CHECKBOXES | TVS_DISABLEDRAGDROP;  // 0x8110

UINT stateImage(bool enabled) { return INDEXTOSTATEIMAGEMASK(enabled ? 2 : 1); }

}  // namespace

HWND createDeviceTree(HWND dialog, RECT bounds, int controlId, char const* text) {
    MapDialogRect(dialog, &bounds);
    HWND const tree = CreateWindowExA(0, WC_TREEVIEWA, text, kTreeStyle, bounds.left, bounds.top,
                                      bounds.right - bounds.left, bounds.bottom - bounds.top,
                                      dialog, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (tree == nullptr) {
        return nullptr;
    }
    SetWindowLongPtrA(tree, GWL_STYLE, GetWindowLongPtrA(tree, GWL_STYLE) | kAddedStyle);
    SetWindowLongPtrA(tree, GWLP_ID, controlId);
    return tree;
}

void fillDeviceTree(HWND tree, PublishedOutputInfo const* records, std::size_t count,
                    bool (*skip)(std::string const& name)) {
    SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    HTREEITEM last = TVI_FIRST;
    for (std::size_t i = 0; i < count; ++i) {
        if (last == nullptr) {
            break;  // the tree took no more; it shows what it holds so far
        }
        PublishedOutputInfo const& record = records[i];
        if (skip != nullptr && skip(record.name)) {
            continue;
        }
        TVINSERTSTRUCTA insert = {};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = last;
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
        insert.item.pszText = const_cast<char*>(record.name.c_str());
        insert.item.state = stateImage(record.enabled);
        insert.item.stateMask = TVIS_STATEIMAGEMASK;
        insert.item.lParam = static_cast<LPARAM>(static_cast<std::intptr_t>(record.id));
        last = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
    }
}

HWND createOutputTree(HWND dialog) {
    return createDeviceTree(dialog, RECT{10, 20, 290, 112}, IDC_OUTPUT_TREE, "MIDI Outputs");
}

BOOL fillOutputTree(HWND tree, PublishedOutputInfo const* records, std::size_t count) {
    fillDeviceTree(tree, records, count, isOwnPortName);
    return TRUE;
}
