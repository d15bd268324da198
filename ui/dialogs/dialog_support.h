#pragma once

// Small pieces every dialog of the program shares: the error box, the conversions between the
// model's text and Qt's, and reading a port number the way the network settings do.

#include <QIcon>
#include <QString>
#include <optional>
#include <string>
#include <string_view>

class QLineEdit;
class QWidget;

namespace dialogs {

// A message box titled "Error" with the error icon, owned by `owner`; returns when it is closed.
void showError(QWidget* owner, const QString& text);

inline QString fromU16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::u16string toU16(const QString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<size_t>(text.size()));
}
inline QString fromUtf8(const std::string& text) { return QString::fromUtf8(text); }
inline std::string toUtf8(const QString& text) { return text.toUtf8().toStdString(); }

// The box's text as an unsigned decimal number up to `max`. Anything else (blank, letters,
// too large) beeps, moves the focus to the box and answers nothing.
std::optional<unsigned> readUnsigned(QLineEdit* box, unsigned max);

// The program's icon, for the windows that carry one.
QIcon applicationIcon();

}  // namespace dialogs
