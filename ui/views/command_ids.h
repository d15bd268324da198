#pragma once

// The numbers of the commands that act on a list or a record, as the menus, the toolbar and the
// accelerators send them.
namespace list_command {
inline constexpr int kCopy = 57634;
inline constexpr int kPaste = 57637;
inline constexpr int kDelete = 57632;
inline constexpr int kDeleteAll = 57633;
inline constexpr int kMultipleDelete = 32781;
inline constexpr int kMultiplePaste = 32776;
inline constexpr int kPasteAll = 32778;
inline constexpr int kNewList = 33801;
inline constexpr int kRemoveList = 33802;
inline constexpr int kSaveList = 33803;
inline constexpr int kLoadList = 33804;
inline constexpr int kListenToClipboard = 33806;
inline constexpr int kListProperties = 33807;
inline constexpr int kExport = 33808;

// "&Send To": the record to remembered host i, the record to another computer, the list to
// remembered host i, the list to another computer.
inline constexpr int kSendRecordFirst = 32800;
inline constexpr int kSendRecordOther = 33299;
inline constexpr int kSendListFirst = 33300;
inline constexpr int kSendListOther = 33799;
// Host items in one submenu; the rest of the remembered hosts are not offered there.
inline constexpr int kMaxSendToHosts = 498;
}  // namespace list_command
