#include "ui/views/rtf_reader.h"

#include <QColor>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

// Deeper groups are read, but share the state of the deepest kept one.
constexpr size_t kMaxDepth = 200;
// Text beyond this is not shown; a viewer does not need more.
constexpr qsizetype kMaxChars = 4 * 1024 * 1024;
constexpr size_t kMaxWordChars = 32;
constexpr size_t kMaxDigits = 10;
constexpr int kMaxColours = 1024;
constexpr int kMaxFonts = 1024;

// Windows-1252 for 0x80..0x9F; the rest of the bytes are Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char16_t fromCp1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte);
}

enum class Destination { Text, Skip, FontTable, ColourTable };

struct State {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;
    int colour = 0;
    int font = -1;
    int unicodeSkip = 1;
    Destination destination = Destination::Text;
};

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

class Reader {
public:
    Reader(std::string_view rtf, QTextDocument& document)
        : in_(rtf), document_(document), cursor_(&document) {
        stack_.push_back(State());
        colours_.push_back(QColor());  // entry 0 stands for the automatic colour when absent
    }

    void run() {
        while (pos_ < in_.size()) {
            const char c = in_[pos_++];
            switch (c) {
            case '{':
                flush();
                if (stack_.size() < kMaxDepth) stack_.push_back(state());
                else ++overflow_;
                break;
            case '}':
                flush();
                if (overflow_ > 0) --overflow_;
                else if (stack_.size() > 1) {
                    if (state().destination == Destination::FontTable && pendingFont_ >= 0)
                        finishFont();
                    stack_.pop_back();
                }
                break;
            case '\\':
                control();
                break;
            case '\r':
            case '\n':
                break;
            default:
                character(static_cast<unsigned char>(c));
                break;
            }
        }
        flush();
    }

private:
    State& state() { return stack_.back(); }

    void control() {
        if (pos_ >= in_.size()) return;
        const char c = in_[pos_];
        if (!isLetter(c)) {
            ++pos_;
            symbol(c);
            return;
        }
        std::string word;
        while (pos_ < in_.size() && isLetter(in_[pos_])) {
            if (word.size() < kMaxWordChars) word += in_[pos_];
            ++pos_;
        }
        bool hasParam = false;
        bool negative = false;
        int64_t param = 0;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && isDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        size_t digits = 0;
        while (pos_ < in_.size() && isDigit(in_[pos_])) {
            // Only the first digits count: a huge number is clamped, not overflowed.
            if (digits++ < kMaxDigits) param = param * 10 + (in_[pos_] - '0');
            hasParam = true;
            ++pos_;
        }
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        param = std::clamp<int64_t>(negative ? -param : param, INT32_MIN, INT32_MAX);
        word_(word, hasParam, static_cast<int32_t>(param));
    }

    void symbol(char c) {
        switch (c) {
        case '\\':
        case '{':
        case '}':
            character(static_cast<unsigned char>(c));
            break;
        case '~':
            put(u'\u00A0');
            break;
        case '_':
            put(u'\u2011');
            break;
        case '*':
            // An optional destination we do not know: its group is left out.
            state().destination = Destination::Skip;
            break;
        case '\'': {
            int value = 0;
            int n = 0;
            while (n < 2 && pos_ < in_.size() && std::isxdigit(static_cast<unsigned char>(in_[pos_]))) {
                const char h = in_[pos_++];
                value = value * 16 + (isDigit(h) ? h - '0' : (h | 0x20) - 'a' + 10);
                ++n;
            }
            if (n > 0) character(static_cast<unsigned char>(value));
            break;
        }
        case '\r':
        case '\n':
            paragraph();
            break;
        default:
            break;
        }
    }

    void word_(const std::string& w, bool hasParam, int32_t p) {
        State& s = state();
        static const char* const kSkipped[] = {
            "stylesheet", "info",       "pict",       "object",     "header",    "footer",
            "headerl",    "headerr",    "footerl",    "footerr",    "footnote",  "themedata",
            "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "listtable",
            "listoverridetable", "rsidtbl", "generator", "fldinst", "bkmkstart", "bkmkend",
            "nonshppict", "shppict", "filetbl", "revtbl", "pgdsctbl", "mmathPr"};
        for (const char* skipped : kSkipped)
            if (w == skipped) {
                s.destination = Destination::Skip;
                return;
            }
        if (w == "fonttbl") {
            s.destination = Destination::FontTable;
            return;
        }
        if (w == "colortbl") {
            s.destination = Destination::ColourTable;
            return;
        }
        if (w == "bin") {
            // Raw bytes follow; they are never text.
            pos_ += std::min<size_t>(static_cast<size_t>(std::max(p, 0)), in_.size() - pos_);
            return;
        }
        if (s.destination == Destination::Skip) return;
        if (s.destination == Destination::ColourTable) {
            const int v = std::clamp(p, 0, 255);
            if (w == "red") red_ = v;
            else if (w == "green") green_ = v;
            else if (w == "blue") blue_ = v;
            return;
        }
        if (s.destination == Destination::FontTable) {
            if (w == "f" && hasParam) {
                if (pendingFont_ >= 0) finishFont();
                pendingFont_ = p;
                fontName_.clear();
            }
            return;
        }
        const bool on = !hasParam || p != 0;
        if (w == "b") setFormat([&] { s.bold = on; });
        else if (w == "i") setFormat([&] { s.italic = on; });
        else if (w == "ul") setFormat([&] { s.underline = on; });
        else if (w == "ulnone") setFormat([&] { s.underline = false; });
        else if (w == "plain")
            setFormat([&] {
                s.bold = s.italic = s.underline = false;
                s.halfPoints = 24;
                s.colour = 0;
            });
        else if (w == "fs" && hasParam) setFormat([&] { s.halfPoints = std::clamp(p, 2, 3276); });
        else if (w == "cf" && hasParam) setFormat([&] { s.colour = std::max(0, p); });
        else if (w == "f" && hasParam) setFormat([&] { s.font = p; });
        else if (w == "uc" && hasParam) s.unicodeSkip = std::clamp(p, 0, 16);
        else if (w == "u" && hasParam) unicode(p);
        else if (w == "par" || w == "row") paragraph();
        else if (w == "line") put(u'\u2028');
        else if (w == "tab" || w == "cell") put(u'\t');
        else if (w == "emdash") put(u'\u2014');
        else if (w == "endash") put(u'\u2013');
        else if (w == "bullet") put(u'\u2022');
        else if (w == "lquote") put(u'\u2018');
        else if (w == "rquote") put(u'\u2019');
        else if (w == "ldblquote") put(u'\u201C');
        else if (w == "rdblquote") put(u'\u201D');
    }

    template <class Change>
    void setFormat(Change change) {
        flush();
        change();
    }

    void unicode(int32_t value) {
        // Negative values stand for the upper half of the 16-bit range.
        const uint32_t code = value < 0 ? static_cast<uint32_t>(value + 65536) : static_cast<uint32_t>(value);
        if (code <= 0xFFFF) put(static_cast<char16_t>(code));
        else put(u'\uFFFD');
        // The fallback characters that follow are not shown.
        for (int skip = state().unicodeSkip; skip > 0 && pos_ < in_.size(); --skip) {
            const char c = in_[pos_];
            if (c == '{' || c == '}') break;
            if (c == '\\') {
                if (pos_ + 1 < in_.size() && in_[pos_ + 1] == '\'') {
                    pos_ += 2;
                    for (int n = 0; n < 2 && pos_ < in_.size() &&
                                    std::isxdigit(static_cast<unsigned char>(in_[pos_]));
                         ++n)
                        ++pos_;
                    continue;
                }
                break;  // a control word ends the fallback
            }
            ++pos_;
        }
    }

    void character(unsigned char byte) {
        State& s = state();
        if (s.destination == Destination::Skip) return;
        if (s.destination == Destination::ColourTable) {
            if (byte == ';' && static_cast<int>(colours_.size()) < kMaxColours) {
                const bool automatic = red_ < 0 && green_ < 0 && blue_ < 0;
                const QColor colour = automatic ? QColor()
                                                : QColor(std::max(red_, 0), std::max(green_, 0),
                                                         std::max(blue_, 0));
                if (firstColourEntry_) colours_[0] = colour;
                else colours_.push_back(colour);
                firstColourEntry_ = false;
                red_ = green_ = blue_ = -1;
            }
            return;
        }
        if (s.destination == Destination::FontTable) {
            if (byte == ';') finishFont();
            else if (fontName_.size() < 64) fontName_ += QChar(fromCp1252(byte));
            return;
        }
        put(fromCp1252(byte));
    }

    void finishFont() {
        if (pendingFont_ >= 0 && static_cast<int>(fonts_.size()) < kMaxFonts)
            fonts_[pendingFont_] = fontName_.trimmed();
        pendingFont_ = -1;
        fontName_.clear();
    }

    void put(char16_t c) {
        if (state().destination != Destination::Text) return;
        if (written_ + pending_.size() >= kMaxChars) return;
        pending_ += QChar(c);
    }

    void paragraph() {
        if (state().destination != Destination::Text) return;
        flush();
        if (written_ >= kMaxChars) return;
        cursor_.insertBlock();
        ++written_;
    }

    void flush() {
        if (pending_.isEmpty()) return;
        const State& s = state();
        QTextCharFormat format;
        format.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(s.italic);
        format.setFontUnderline(s.underline);
        format.setFontPointSize(s.halfPoints / 2.0);
        if (s.colour < static_cast<int>(colours_.size()) && colours_[static_cast<size_t>(s.colour)].isValid())
            format.setForeground(colours_[s.colour]);
        if (const auto font = fonts_.find(s.font); font != fonts_.end() && !font->second.isEmpty())
            format.setFontFamilies({font->second});
        cursor_.insertText(pending_, format);
        written_ += pending_.size();
        pending_.clear();
    }

    std::string_view in_;
    size_t pos_ = 0;
    QTextDocument& document_;
    QTextCursor cursor_;
    std::vector<State> stack_;
    size_t overflow_ = 0;
    QString pending_;
    qsizetype written_ = 0;
    std::vector<QColor> colours_;
    bool firstColourEntry_ = true;
    int red_ = -1, green_ = -1, blue_ = -1;
    std::map<int, QString> fonts_;
    int pendingFont_ = -1;
    QString fontName_;
};

}  // namespace

void readRtf(std::string_view rtf, QTextDocument& document) {
    document.clear();
    Reader(rtf, document).run();
}
