#pragma once

// Between the data that Linux programs put on the clipboard (named targets, each a run of bytes:
// the X11 selection's targets, which on Wayland are the offer's MIME types) and the Windows
// clipboard formats our items hold, so that a record captured here can be pasted by a copy of
// the program on Windows and the other way round. Both desktop backends read and serve through
// this one table. Pure functions: no display connection is needed. Everything read here comes from another program and is treated as
// untrusted: sizes are checked against the bytes actually present, and malformed input gives
// "nothing" rather than a guess.
//
// Byte runs are held in std::string (bytes, not text: they may contain NULs).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/data_transfer.h"

namespace platform {

// ---- targets (X11 selection targets and Wayland MIME types)

namespace target {
inline constexpr std::string_view kTargets = "TARGETS";
inline constexpr std::string_view kUtf8String = "UTF8_STRING";
inline constexpr std::string_view kTextPlainUtf8 = "text/plain;charset=utf-8";
// Without a charset: UTF-8 on Linux desktops (Wayland programs often offer only this one).
inline constexpr std::string_view kTextPlain = "text/plain";
inline constexpr std::string_view kString = "STRING";  // ISO 8859-1
inline constexpr std::string_view kHtml = "text/html";
inline constexpr std::string_view kRtf = "text/rtf";
inline constexpr std::string_view kRichText = "text/richtext";
inline constexpr std::string_view kApplicationRtf = "application/rtf";
inline constexpr std::string_view kCsv = "text/csv";
inline constexpr std::string_view kPng = "image/png";
inline constexpr std::string_view kBmp = "image/bmp";
inline constexpr std::string_view kUriList = "text/uri-list";
inline constexpr std::string_view kGnomeCopiedFiles = "x-special/gnome-copied-files";
inline constexpr std::string_view kKdeCutSelection = "application/x-kde-cutselection";
inline constexpr std::string_view kPasswordHint = "x-kde-passwordManagerHint";
inline constexpr std::string_view kPasswordHintText = "text/x-kde-passwordManagerHint";
// Marks data this program put on the clipboard itself, like the private Windows format.
inline constexpr std::string_view kQuilletTag = "application/x-quillet-professional-tag";
}  // namespace target

// ---- Windows formats

enum class WinFormat {
    UnicodeText,          // CF_UNICODETEXT: UTF-16LE with a terminating NUL character
    Text,                 // CF_TEXT: Windows-1252 with a terminating zero byte
    Html,                 // "HTML Format": header with byte offsets, then UTF-8 markup
    Rtf,                  // "Rich Text Format"
    Csv,                  // "Csv"
    Dib,                  // CF_DIB: packed device-independent bitmap
    HDrop,                // CF_HDROP: DROPFILES with wide names
    PreferredDropEffect,  // "Preferred DropEffect": 32-bit little-endian effect
    QuilletTag,           // "Quillet Professional Tag"
    Png,                  // "PNG": a PNG file
};

// The clipboard format number (standard, or registered under its name).
ClipFormat clipFormat(WinFormat format);
// The Windows format of a clipboard format number; nothing for one we do not exchange.
std::optional<WinFormat> winFormatOf(ClipFormat format);

// ---- reading: which targets to ask an owner for

// One Windows format an owner can supply, with the offered targets it can be made from, the
// best first (UTF8_STRING before text/plain;charset=utf-8 before text/plain before STRING;
// image/png before image/bmp). A reader asks for the first and falls back to the next when that fails. An
// image/png feeds both "PNG" (listed first: its bytes as they are) and CF_DIB.
struct TargetPlan {
    WinFormat format;
    std::vector<std::string> candidates;
    bool operator==(const TargetPlan&) const = default;
};

// The Windows formats an owner offering `offered` (its TARGETS, in its order) can supply, in the
// order of the first target of each; CF_TEXT is not listed (it is made from the text), nor the
// tag or the password hint (see below).
std::vector<TargetPlan> planRead(std::span<const std::string> offered);

// Whether the owner's targets carry our own tag: the data is ours and is not captured again.
bool offersQuilletTag(std::span<const std::string> offered);
// The password-manager hint target the owner offers, if any; its value decides (isSecretHint).
std::optional<std::string> passwordHintTarget(std::span<const std::string> offered);
bool isPasswordHintTarget(std::string_view name);
// Whether the hint's value says "secret" (a trailing line end or NUL is allowed): such a
// change is not captured, as password managers expect.
bool isSecretHint(std::string_view value);

// ---- reading: target bytes to Windows format bytes

// The bytes of `format` made from what the owner gave for `targetName`; nothing when the target
// does not feed the format or the bytes cannot be converted.
std::optional<std::string> toWindows(WinFormat format, std::string_view targetName,
                                     std::string_view data);

// CF_UNICODETEXT bytes from UTF8_STRING, text/plain;charset=utf-8 or text/plain (UTF-8) or STRING
// (Latin-1). The text ends at the first NUL. Nothing for another target.
std::optional<std::string> textToUnicodeText(std::string_view targetName, std::string_view data);
// CF_TEXT bytes made from CF_UNICODETEXT bytes.
std::string unicodeTextToAnsiText(std::string_view unicodeText);

// "HTML Format" around markup that is UTF-8, or UTF-16 (told by a byte-order mark, else by
// NUL bytes; converted to UTF-8 first). A fragment marked with <!--StartFragment--> and
// <!--EndFragment--> keeps its marks; else the body's content is marked as the fragment; markup
// without a body is wrapped in one.
std::string htmlToHtmlFormat(std::string_view markup);

// A packed DIB from PNG (targetName image/png) or BMP (image/bmp) bytes. Pictures whose rows
// would take more than maxDibBytes are refused before their pixels are decoded.
inline constexpr uint64_t kMaxDibBytes = uint64_t{512} << 20;
std::optional<std::string> imageToDib(std::string_view targetName, std::string_view data,
                                      uint64_t maxDibBytes = kMaxDibBytes);

// DROPFILES from a text/uri-list: the local file:// URIs (no host, or localhost), percent-decoded;
// other URIs and comment lines skipped. Nothing when no file is left.
std::optional<std::string> uriListToDropFiles(std::string_view uriList);

// The Preferred DropEffect values.
inline constexpr uint32_t kDropEffectCopy = 1;
inline constexpr uint32_t kDropEffectMove = 2;
inline constexpr uint32_t kDropEffectLink = 4;

// The effect of x-special/gnome-copied-files (first line "copy" 1, "cut" 2, "link" copy with
// link 5) or application/x-kde-cutselection ("1" cut 2, "0" copy 1); nothing for other values.
std::optional<uint32_t> dropEffectFromTarget(std::string_view targetName, std::string_view data);
// The 4 bytes of the Preferred DropEffect format.
std::string dropEffectBytes(uint32_t effect);
// The effect held by Preferred DropEffect bytes; nothing when fewer than 4 bytes.
std::optional<uint32_t> readDropEffect(std::string_view bytes);

// ---- writing: Windows format bytes to target bytes

// Target bytes from CF_UNICODETEXT bytes (text up to the first NUL character): UTF-8 for
// UTF8_STRING, text/plain;charset=utf-8 and text/plain, Latin-1 for STRING ("?" for what it
// lacks).
std::optional<std::string> unicodeTextToTarget(std::string_view targetName,
                                               std::string_view unicodeText);

// The markup of "HTML Format" bytes: what StartHTML..EndHTML enclose, else StartFragment..
// EndFragment, else what follows the header. Bytes without a header are taken as markup.
std::optional<std::string> htmlFormatToHtml(std::string_view htmlFormat);

// A PNG file from a packed DIB (BI_RGB of 1, 4, 8, 16, 24 or 32 bits, or BI_BITFIELDS of 16 or
// 32 bits). A 32-bit picture whose alpha bytes are all zero is taken as opaque: that is how most
// Windows programs write one.
std::optional<std::string> dibToPng(std::string_view dib);
// A BMP file (the 14-byte file header, then the DIB) from a packed DIB.
std::optional<std::string> dibToBmp(std::string_view dib);

// The file names of DROPFILES, as UTF-8, in order; empty when the structure is malformed.
std::vector<std::string> dropFilesNames(std::string_view dropFiles);
// DROPFILES with wide names from UTF-8 file names.
std::string dropFilesFromNames(std::span<const std::string> names);
// A text/uri-list (CRLF after each line) of file:// URIs for the absolute names; other names
// are left out.
std::string uriListFromNames(std::span<const std::string> names);
// x-special/gnome-copied-files for the names: "cut" when the effect moves, else "copy".
std::string gnomeCopiedFiles(uint32_t effect, std::span<const std::string> names);
// application/x-kde-cutselection: "1" when the effect moves, else "0".
std::string kdeCutSelection(uint32_t effect);

// One Windows format's bytes as a data object renders them, and one target's bytes as an owner
// serves them.
struct FormatData {
    WinFormat format;
    std::string bytes;
};
struct TargetData {
    std::string target;
    std::string bytes;
    bool operator==(const TargetData&) const = default;
};

// The targets an owner serves for a data object's formats, in the formats' order: text as
// UTF8_STRING, text/plain;charset=utf-8, text/plain and STRING (from CF_TEXT only when there is no
// CF_UNICODETEXT); text/html; text/rtf, text/richtext, application/rtf; text/csv; image/png
// and image/bmp; text/uri-list and x-special/gnome-copied-files for the files, and
// application/x-kde-cutselection for their effect; the tag under its own target. A format whose
// bytes cannot be converted is left out.
std::vector<TargetData> targetsFromWindows(std::span<const FormatData> formats);

}  // namespace platform
