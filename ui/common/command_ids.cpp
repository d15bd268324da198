#include "ui/common/command_ids.h"

namespace {

// One string per command: the status-bar text, then after a line break the tooltip.
const char* helpString(CommandId id) {
    switch (id) {
    case CommandId::Start: return "Start recording clipboard.\nStart recording";
    case CommandId::Pause: return "Pause recording clipboard.\nPause recording";
    case CommandId::MultiplePaste: return "Paste multiple records to working application.\nMultiple Paste";
    case CommandId::PasteAll: return "Paste all records in the list to working application.\nPaste All";
    case CommandId::MultipleDelete: return "Delete multiple records.\nMultiple Delete";
    case CommandId::FloatingWindow: return "Show or hide floating window.\nToggle floating window";
    case CommandId::Options: return "Change application settings.\nOptions";
    case CommandId::MainWindow: return "Show or hide main window.\nToggle main window";
    case CommandId::NewList: return "Create a new clipboard record list.";
    case CommandId::RemoveList: return "Remove this clipboard record list.";
    case CommandId::SaveList: return "Save this clipboard record list to external file.";
    case CommandId::LoadList: return "Load clipboard records to this list from external file.";
    case CommandId::ListenToClipboard: return "Save recorded clipboard items to this list.";
    case CommandId::ExportList: return "Export the list of clips to external files.";
    case CommandId::Delete: return "Delete the selected record.\nDelete";
    case CommandId::DeleteAll: return "Delete all records in the list.\nDelete All";
    case CommandId::Copy: return "Copy the selection and put it on the Clipboard\nCopy";
    case CommandId::Paste: return "Paste the selected record to working application.\nPaste";
    case CommandId::About: return "Display program information, version number and copyright\nAbout";
    case CommandId::Exit: return "Quit the application\nExit";
    case CommandId::HelpIndex: return "Open Quillet help file index page.\nHelp Index";
    case CommandId::Toolbar: return "Show or hide the toolbar\nToggle ToolBar";
    case CommandId::StatusBar: return "Show or hide the status bar\nToggle StatusBar";
    }
    return "";
}

}  // namespace

CommandHelp commandHelp(CommandId id) {
    const QString text = QString::fromUtf8(helpString(id));
    const qsizetype lineBreak = text.indexOf(QLatin1Char('\n'));
    if (lineBreak < 0)
        return {text, {}};
    return {text.left(lineBreak), text.mid(lineBreak + 1)};
}

QString readyText() { return QStringLiteral("Ready"); }
