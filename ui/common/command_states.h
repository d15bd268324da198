#pragma once

// Which list and record commands can run on the list the main window shows. The answer depends
// only on a few facts about that list, so it is worked out here, away from any widget, and the
// windows apply it to their menus and toolbars whenever one of the facts changes.

#include "ui/common/command_ids.h"

struct ListFacts {
    int count = 0;           // rows of the list as shown
    bool selected = false;   // a row is selected
    bool search = false;     // the list is a search result
    bool listening = false;  // the list receives the captured records
};

// Whether `id` can run on a list with these facts. Commands that do not depend on the list
// (Start, Pause, Options, Exit, ...) are always enabled.
bool commandEnabled(CommandId id, const ListFacts& list);
