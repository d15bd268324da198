#include "ui/common/command_states.h"

bool commandEnabled(CommandId id, const ListFacts& list) {
    const bool editable = !list.search;
    switch (id) {
    case CommandId::Copy:
    case CommandId::Paste: return list.selected;
    case CommandId::Delete: return list.selected && editable;
    case CommandId::MultipleDelete: return list.count >= 2 && editable;
    case CommandId::DeleteAll: return list.count >= 1 && editable;
    case CommandId::MultiplePaste: return list.count >= 2;
    case CommandId::PasteAll: return list.count >= 1;
    case CommandId::LoadList: return editable;
    case CommandId::SaveList: return list.count >= 1;
    case CommandId::NewList: return true;
    case CommandId::RemoveList:
    case CommandId::ListenToClipboard: return editable && !list.listening;
    case CommandId::ExportList: return list.count >= 1;
    default: return true;
    }
}
