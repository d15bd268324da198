#pragma once

// The numbers of the configuration options. They are the keys stored in the configuration file,
// so a number never changes meaning.
enum ConfigOption : int {
    kOptPopupShortcutEnabled = 0,   // bool
    kOptPopupShortcutCtrl = 1,      // bool
    kOptPopupShortcutAlt = 2,       // bool
    kOptPopupShortcutKey = 3,       // character
    kOptFloatingKeysEnabled = 4,    // bool
    kOptFloatingKeysCtrl = 5,       // bool
    kOptFloatingKeysAlt = 6,        // bool
    kOptFloatingRect = 7,           // rectangle
    kOptMenuWindowSize = 9,         // size
    kOptFloatingTab = 11,           // integer
    kOptPopupTab = 12,              // integer
    kOptMenuTab = 13,               // integer
    kOptMainTab = 14,               // integer
    kOptFloatingVisible = 15,       // bool
    kOptReceiveEnabled = 17,        // bool
    kOptRecording = 18,             // bool
    kOptAutoSend = 19,              // bool
    kOptCheckForNewVersion = 20,    // bool
    kOptStartWithComputer = 21,     // bool
    kOptServerPort = 22,            // port
    kOptPopupShortcutWin = 25,      // bool
    kOptFloatingKeysWin = 26,       // bool
    kOptInsertTextBetween = 30,     // bool
    kOptTextBetween = 31,           // text
    kOptFloatingExpandedHeight = 33,  // integer
    kOptAllowDuplicates = 34,       // bool
    kOptPopupRect = 35,             // rectangle
    kOptSaveRecords = 36,           // bool
    kOptPopupAutoPosition = 37,     // bool
    kOptPopupSelectFirst = 38,      // bool
    kOptReplaceIdenticalClipboard = 39,  // bool
    kOptPlainTextShortcutKey = 40,  // character
    // Where the new-version check asks; no default, so without a host there is no check.
    kOptVersionServerHost = 50,     // text: host name or dotted address
    kOptVersionServerPort = 51,     // port: 80 when not set
    // Whether a trusted client must also connect from an address its host name resolves to;
    // not set by the defaults and read as on, so configurations without it keep the check.
    kOptTrustedClientAddressCheck = 52,  // bool
    // Where the user left the bar between the main window's history and record viewer: the
    // history's width in pixels. Not set: a quarter of the window's width.
    kOptMainSplitterPosition = 53,  // integer
};

// Each item type has two bool options keyed by its typeId (1000 to 1012): whether the format is
// recorded, and whether it is left out when pasting.
constexpr int recordOptionKey(int typeId) { return typeId; }
constexpr int pasteExclusionOptionKey(int typeId) { return typeId + 1000; }
