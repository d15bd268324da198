#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/dialogs/record_picker_dlg.h"

class AppConfig;
class QCheckBox;
class QPlainTextEdit;

// "Paste Records": several records of a list pasted as one text, optionally with a text after
// each of them (the last one too).
class MultiPasterDlg : public RecordPickerDlg {
    Q_OBJECT
public:
    // Pastes a text as a text-only record that joins no list.
    using PasteText = std::function<void(const std::u16string& text)>;

    MultiPasterDlg(const cb::RecordList& list, AppConfig& config, PasteText paste,
                   QWidget* owner);

    void accept() override;

    // Every record of the list, first to last, with the separator the last multiple paste
    // used; the options stay as they are.
    static void pasteAll(const cb::RecordList& list, const AppConfig& config,
                         const PasteText& paste);

    // The records' texts in order, each followed by `separator` when `separate` is set.
    static std::u16string joinTexts(const std::vector<cb::RecordPtr>& records, bool separate,
                                    const std::u16string& separator);

private:
    AppConfig& config_;
    PasteText paste_;
    QCheckBox* insertText_;
    QPlainTextEdit* separator_;
};
