#include "platform/clipboard_conversions.h"

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>

#include "platform/bitmap_info.h"
#include "platform/clipboard_formats.h"
#include "platform/text_codec.h"

namespace platform {

namespace {

// ---- small byte helpers

uint32_t read32(std::string_view s, size_t at) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data() + at);
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void append32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void append16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

std::string utf16leBytes(std::u16string_view text, bool nulTerminated) {
    std::string out;
    out.reserve(2 * (text.size() + 1));
    for (char16_t c : text) append16(out, c);
    if (nulTerminated) append16(out, 0);
    return out;
}

// UTF-16LE bytes up to the first NUL character; an odd last byte is no character.
std::u16string utf16leText(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (c == 0) break;
        out.push_back(c);
    }
    return out;
}

std::string_view upToNul(std::string_view s) {
    const size_t nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

std::string_view trimTrailing(std::string_view s, std::string_view chars) {
    const size_t end = s.find_last_not_of(chars);
    return end == std::string_view::npos ? std::string_view{} : s.substr(0, end + 1);
}

std::string_view trimLeading(std::string_view s, std::string_view chars) {
    const size_t start = s.find_first_not_of(chars);
    return start == std::string_view::npos ? std::string_view{} : s.substr(start);
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

bool startsWithIgnoreCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

size_t findIgnoreCase(std::string_view hay, std::string_view needle, size_t from = 0) {
    if (needle.empty() || hay.size() < needle.size()) return std::string_view::npos;
    for (size_t i = from; i + needle.size() <= hay.size(); ++i)
        if (equalsIgnoreCase(hay.substr(i, needle.size()), needle)) return i;
    return std::string_view::npos;
}

bool isUtf8Target(std::string_view name) {
    return name == target::kUtf8String || equalsIgnoreCase(name, target::kTextPlainUtf8) ||
           equalsIgnoreCase(name, target::kTextPlain);
}

// ---- reading plan

struct FormatTargets {
    WinFormat format;
    std::array<std::string_view, 4> targets;  // best first; empty entries unused
};

constexpr FormatTargets kReadTable[] = {
    {WinFormat::UnicodeText,
     {target::kUtf8String, target::kTextPlainUtf8, target::kTextPlain, target::kString}},
    {WinFormat::Html, {target::kHtml, {}, {}}},
    {WinFormat::Rtf, {target::kRtf, target::kApplicationRtf, target::kRichText}},
    {WinFormat::Csv, {target::kCsv, {}, {}}},
    {WinFormat::Png, {target::kPng, {}, {}}},
    {WinFormat::Dib, {target::kPng, target::kBmp, {}}},
    {WinFormat::HDrop, {target::kUriList, {}, {}}},
    {WinFormat::PreferredDropEffect, {target::kGnomeCopiedFiles, target::kKdeCutSelection, {}}},
};

bool sameTarget(std::string_view offered, std::string_view known) {
    // MIME types compare without regard to case; atom names such as UTF8_STRING are written one way.
    return known.find('/') != std::string_view::npos ? equalsIgnoreCase(offered, known) : offered == known;
}

// ---- HTML

constexpr std::string_view kStartMark = "<!--StartFragment-->";
constexpr std::string_view kEndMark = "<!--EndFragment-->";

std::string decimal10(size_t v) {
    std::string digits = std::to_string(v);
    if (digits.size() < 10) digits.insert(0, 10 - digits.size(), '0');
    return digits;
}

// Markup as UTF-8: UTF-16 with a byte-order mark, or with NUL bytes (most of them in the high
// half of each character for Latin text), is converted; a UTF-8 byte-order mark is dropped.
std::string htmlAsUtf8(std::string_view in) {
    auto fromUtf16 = [](std::string_view bytes, bool bigEndian) {
        std::u16string text;
        text.reserve(bytes.size() / 2);
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const auto a = static_cast<unsigned char>(bytes[i]);
            const auto b = static_cast<unsigned char>(bytes[i + 1]);
            text.push_back(static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a)));
        }
        while (!text.empty() && text.back() == 0) text.pop_back();
        return utf16ToUtf8(text);
    };
    if (in.size() >= 2 && in[0] == '\xFF' && in[1] == '\xFE') return fromUtf16(in.substr(2), false);
    if (in.size() >= 2 && in[0] == '\xFE' && in[1] == '\xFF') return fromUtf16(in.substr(2), true);
    if (in.size() >= 3 && in.substr(0, 3) == "\xEF\xBB\xBF") in.remove_prefix(3);
    if (in.find('\0') != std::string_view::npos) {
        size_t evenNuls = 0, oddNuls = 0;
        for (size_t i = 0; i < in.size(); ++i)
            if (in[i] == '\0') ++(i % 2 == 0 ? evenNuls : oddNuls);
        // Text that only ends in NULs is UTF-8 with a terminator, not UTF-16.
        const std::string_view body = trimTrailing(in, std::string_view("\0", 1));
        if (body.find('\0') == std::string_view::npos) return std::string(body);
        return fromUtf16(in, evenNuls > oddNuls);
    }
    return std::string(in);
}

// One "Key:Value" header line of HTML Format; false at the first line that is not one.
bool headerLine(std::string_view data, size_t& pos, std::string_view& key, std::string_view& value) {
    const size_t eol = data.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) return false;
    const std::string_view line = data.substr(pos, eol - pos);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0 || line.front() == '<') return false;
    for (char c : line.substr(0, colon))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    key = line.substr(0, colon);
    value = line.substr(colon + 1);
    pos = eol;
    if (pos < data.size() && data[pos] == '\r') ++pos;
    if (pos < data.size() && data[pos] == '\n') ++pos;
    return true;
}

// An offset of the header: decimal digits, or -1 for "not given".
std::optional<int64_t> headerNumber(std::string_view v) {
    v = trimLeading(trimTrailing(v, " \t"), " \t");
    bool negative = false;
    if (!v.empty() && v.front() == '-') {
        negative = true;
        v.remove_prefix(1);
    }
    if (v.empty() || v.size() > 12) return std::nullopt;
    int64_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return negative ? -n : n;
}

// ---- pictures

void ensureFreeImage() {
    static std::once_flag once;
    std::call_once(once, [] { FreeImage_Initialise(FALSE); });
}

struct ImageDeleter {
    void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
};
using Image = std::unique_ptr<FIBITMAP, ImageDeleter>;

struct MemoryDeleter {
    void operator()(FIMEMORY* memory) const { FreeImage_CloseMemory(memory); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryDeleter>;

// The picture in a form a packed DIB can carry: a standard bitmap of 1, 4, 8, 24 or 32 bits.
Image toDibCompatible(Image image) {
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(image.get());
    if (type == FIT_BITMAP) {
        const unsigned bpp = FreeImage_GetBPP(image.get());
        if (bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32) return image;
        if (bpp == 16) return Image(FreeImage_ConvertTo24Bits(image.get()));
        return nullptr;
    }
    switch (type) {
        case FIT_UINT16:
            return Image(FreeImage_ConvertTo8Bits(image.get()));
        case FIT_RGB16:
        case FIT_RGBF:
            return Image(FreeImage_ConvertTo24Bits(image.get()));
        case FIT_RGBA16:
        case FIT_RGBAF:
            return Image(FreeImage_ConvertTo32Bits(image.get()));
        default:
            return nullptr;
    }
}

// Parsed and checked layout of a packed DIB.
struct DibLayout {
    BitmapInfoHeader header;
    uint64_t width = 0;
    uint64_t height = 0;
    bool topDown = false;
    uint64_t colours = 0;       // colour table entries
    uint64_t tableOffset = 0;   // where the colour table starts
    uint64_t bitsOffset = 0;    // where the rows start
    uint64_t pitch = 0;
    uint32_t masks[3] = {0, 0, 0};
    bool bitfields = false;
};

std::optional<DibLayout> parseDib(std::string_view dib) {
    if (dib.size() < BitmapInfoHeader::kBytes) return std::nullopt;
    DibLayout l;
    l.header = BitmapInfoHeader::read(dib.data());
    const BitmapInfoHeader& h = l.header;
    // Later header versions (V4, V5) start with the same fields; their extra fields are skipped.
    if (h.biSize < BitmapInfoHeader::kBytes || h.biSize > dib.size()) return std::nullopt;
    const int64_t height = h.biHeight;
    if (h.biWidth <= 0 || height == 0 || height == std::numeric_limits<int32_t>::min())
        return std::nullopt;
    l.width = static_cast<uint64_t>(h.biWidth);
    l.height = static_cast<uint64_t>(height < 0 ? -height : height);
    l.topDown = height < 0;
    if (l.width > 0x7FFFFFFF || l.height > 0x7FFFFFFF) return std::nullopt;
    const unsigned bpp = h.biBitCount;
    l.tableOffset = h.biSize;
    if (h.biCompression == BI_BITFIELDS) {
        if (bpp != 16 && bpp != 32) return std::nullopt;
        l.bitfields = true;
        if (h.biSize == BitmapInfoHeader::kBytes) {
            // The masks follow a plain header; later headers hold them inside.
            if (dib.size() < BitmapInfoHeader::kBytes + 12) return std::nullopt;
            l.tableOffset += 12;
        }
        for (int i = 0; i < 3; ++i) l.masks[i] = read32(dib, BitmapInfoHeader::kBytes + 4 * i);
        // 32-bit pixels are copied as they are: only the usual byte-aligned layout is taken.
        if (bpp == 32 && (l.masks[0] != 0xFF0000 || l.masks[1] != 0xFF00 || l.masks[2] != 0xFF))
            return std::nullopt;
    } else if (h.biCompression != BI_RGB) {
        return std::nullopt;
    } else if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        return std::nullopt;
    }
    if (bpp <= 8) {
        l.colours = h.biClrUsed != 0 ? h.biClrUsed : uint64_t{1} << bpp;
        if (l.colours > (uint64_t{1} << bpp)) return std::nullopt;
    } else {
        l.colours = std::min<uint64_t>(h.biClrUsed, 256);  // an optional table no pixel uses
    }
    l.bitsOffset = l.tableOffset + 4 * l.colours;
    l.pitch = (l.width * bpp + 31) / 32 * 4;
    if (l.bitsOffset > dib.size() || l.pitch > (dib.size() - l.bitsOffset) / l.height)
        return std::nullopt;
    return l;
}

std::optional<std::string> encode(FIBITMAP* image, FREE_IMAGE_FORMAT fif, int flags) {
    Memory memory(FreeImage_OpenMemory());
    if (!memory || !FreeImage_SaveToMemory(fif, image, memory.get(), flags)) return std::nullopt;
    BYTE* data = nullptr;
    DWORD size = 0;
    if (!FreeImage_AcquireMemory(memory.get(), &data, &size) || size == 0) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(data), size);
}

// ---- file lists

constexpr size_t kDropFilesHeader = 20;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The local path a file URI names; nothing for another scheme, a remote host, a relative path
// or a path holding a NUL.
std::optional<std::string> localPathOfUri(std::string_view uri) {
    if (!startsWithIgnoreCase(uri, "file:")) return std::nullopt;
    std::string_view rest = uri.substr(5);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const size_t slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !equalsIgnoreCase(host, "localhost")) return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (rest.empty() || rest.front() != '/') return std::nullopt;
    std::string path;
    path.reserve(rest.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == '%' && i + 2 < rest.size() && hexValue(rest[i + 1]) >= 0 &&
            hexValue(rest[i + 2]) >= 0) {
            path.push_back(static_cast<char>(hexValue(rest[i + 1]) * 16 + hexValue(rest[i + 2])));
            i += 2;
        } else {
            path.push_back(rest[i]);
        }
    }
    if (path.find('\0') != std::string::npos) return std::nullopt;
    return path;
}

std::string fileUri(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
        if (plain) {
            uri.push_back(ch);
        } else {
            uri.push_back('%');
            uri.push_back(kHex[c >> 4]);
            uri.push_back(kHex[c & 0xF]);
        }
    }
    return uri;
}

// The lines of a list, without line ends; a last line without one counts.
std::vector<std::string_view> lines(std::string_view text) {
    std::vector<std::string_view> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        out.push_back(line);
        pos = eol + 1;
    }
    return out;
}

std::vector<std::string> uriListPaths(std::string_view uriList) {
    std::vector<std::string> paths;
    for (std::string_view line : lines(upToNul(uriList))) {
        line = trimLeading(trimTrailing(line, " \t"), " \t");
        if (line.empty() || line.front() == '#') continue;
        if (auto path = localPathOfUri(line)) paths.push_back(std::move(*path));
    }
    return paths;
}

bool moves(uint32_t effect) { return (effect & kDropEffectMove) != 0; }

}  // namespace

// ---- Windows formats

ClipFormat clipFormat(WinFormat format) {
    const RegisteredFormats& r = registeredFormats();
    switch (format) {
        case WinFormat::UnicodeText: return CF_UNICODETEXT;
        case WinFormat::Text: return CF_TEXT;
        case WinFormat::Html: return r.html;
        case WinFormat::Rtf: return r.rtf;
        case WinFormat::Csv: return r.csv;
        case WinFormat::Dib: return CF_DIB;
        case WinFormat::HDrop: return CF_HDROP;
        case WinFormat::PreferredDropEffect: return r.preferredDropEffect;
        case WinFormat::QuilletTag: return r.quilletTag;
        case WinFormat::Png: return r.png;
    }
    return 0;
}

std::optional<WinFormat> winFormatOf(ClipFormat format) {
    for (WinFormat f : {WinFormat::UnicodeText, WinFormat::Text, WinFormat::Html, WinFormat::Rtf,
                        WinFormat::Csv, WinFormat::Dib, WinFormat::HDrop,
                        WinFormat::PreferredDropEffect, WinFormat::QuilletTag, WinFormat::Png})
        if (clipFormat(f) == format) return f;
    return std::nullopt;
}

// ---- reading plan

std::vector<TargetPlan> planRead(std::span<const std::string> offered) {
    struct Found {
        size_t firstPosition;
        TargetPlan plan;
    };
    std::vector<Found> found;
    for (const FormatTargets& entry : kReadTable) {
        Found f{std::numeric_limits<size_t>::max(), {entry.format, {}}};
        for (std::string_view known : entry.targets) {
            if (known.empty()) continue;
            for (size_t i = 0; i < offered.size(); ++i) {
                if (!sameTarget(offered[i], known)) continue;
                f.firstPosition = std::min(f.firstPosition, i);
                f.plan.candidates.push_back(offered[i]);
                break;
            }
        }
        if (!f.plan.candidates.empty()) found.push_back(std::move(f));
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.firstPosition < b.firstPosition; });
    std::vector<TargetPlan> plans;
    for (Found& f : found) plans.push_back(std::move(f.plan));
    return plans;
}

bool offersQuilletTag(std::span<const std::string> offered) {
    return std::any_of(offered.begin(), offered.end(),
                       [](const std::string& t) { return t == target::kQuilletTag; });
}

bool isPasswordHintTarget(std::string_view name) {
    return name == target::kPasswordHint || name == target::kPasswordHintText;
}

std::optional<std::string> passwordHintTarget(std::span<const std::string> offered) {
    for (const std::string& t : offered)
        if (isPasswordHintTarget(t)) return t;
    return std::nullopt;
}

bool isSecretHint(std::string_view value) {
    return trimTrailing(value, std::string_view("\r\n\0", 3)) == "secret";
}

// ---- reading conversions

std::optional<std::string> toWindows(WinFormat format, std::string_view targetName,
                                     std::string_view data) {
    auto feeds = [&](WinFormat f) {
        for (const FormatTargets& entry : kReadTable)
            if (entry.format == f)
                for (std::string_view known : entry.targets)
                    if (!known.empty() && sameTarget(targetName, known)) return true;
        return false;
    };
    if (!feeds(format)) return std::nullopt;
    switch (format) {
        case WinFormat::UnicodeText: return textToUnicodeText(targetName, data);
        case WinFormat::Html: return htmlToHtmlFormat(data);
        case WinFormat::Rtf:
        case WinFormat::Csv:
        case WinFormat::Png: return std::string(data);
        case WinFormat::Dib: return imageToDib(targetName, data);
        case WinFormat::HDrop: return uriListToDropFiles(data);
        case WinFormat::PreferredDropEffect: {
            const auto effect = dropEffectFromTarget(targetName, data);
            if (!effect) return std::nullopt;
            return dropEffectBytes(*effect);
        }
        default: return std::nullopt;
    }
}

std::optional<std::string> textToUnicodeText(std::string_view targetName, std::string_view data) {
    data = upToNul(data);
    if (isUtf8Target(targetName)) return utf16leBytes(utf8ToUtf16(data), true);
    if (targetName == target::kString) {
        std::u16string text(data.size(), u'\0');
        std::transform(data.begin(), data.end(), text.begin(),
                       [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
        return utf16leBytes(text, true);
    }
    return std::nullopt;
}

std::string unicodeTextToAnsiText(std::string_view unicodeText) {
    std::string ansi = utf16ToAnsi(utf16leText(unicodeText));
    ansi.push_back('\0');
    return ansi;
}

std::string htmlToHtmlFormat(std::string_view input) {
    std::string markup = htmlAsUtf8(input);
    size_t fragmentStart = 0, fragmentEnd = 0;
    const size_t startMark = markup.find(kStartMark);
    const size_t endMark = startMark == std::string::npos ? std::string::npos
                                                          : markup.find(kEndMark, startMark + kStartMark.size());
    if (endMark != std::string::npos) {
        fragmentStart = startMark + kStartMark.size();
        fragmentEnd = endMark;
    } else {
        const size_t bodyTag = findIgnoreCase(markup, "<body");
        const size_t bodyOpenEnd = bodyTag == std::string::npos ? std::string::npos : markup.find('>', bodyTag);
        const size_t bodyClose =
            bodyOpenEnd == std::string::npos ? std::string::npos : findIgnoreCase(markup, "</body", bodyOpenEnd);
        if (bodyClose != std::string::npos) {
            markup.insert(bodyClose, kEndMark);
            markup.insert(bodyOpenEnd + 1, kStartMark);
            fragmentStart = bodyOpenEnd + 1 + kStartMark.size();
            fragmentEnd = bodyClose + kStartMark.size();
        } else {
            const std::string head = "<html>\r\n<body>\r\n" + std::string(kStartMark);
            fragmentStart = head.size();
            fragmentEnd = fragmentStart + markup.size();
            markup = head + markup + std::string(kEndMark) + "\r\n</body>\r\n</html>";
        }
    }
    // Fixed-width numbers keep the header's length independent of the values it holds.
    constexpr size_t kHeaderBytes = 105;
    std::string out;
    out.reserve(kHeaderBytes + markup.size());
    out += "Version:0.9\r\n";
    out += "StartHTML:" + decimal10(kHeaderBytes) + "\r\n";
    out += "EndHTML:" + decimal10(kHeaderBytes + markup.size()) + "\r\n";
    out += "StartFragment:" + decimal10(kHeaderBytes + fragmentStart) + "\r\n";
    out += "EndFragment:" + decimal10(kHeaderBytes + fragmentEnd) + "\r\n";
    out += markup;
    return out;
}

std::optional<std::string> imageToDib(std::string_view targetName, std::string_view data,
                                      uint64_t maxDibBytes) {
    FREE_IMAGE_FORMAT wanted;
    if (equalsIgnoreCase(targetName, target::kPng)) wanted = FIF_PNG;
    else if (equalsIgnoreCase(targetName, target::kBmp)) wanted = FIF_BMP;
    else return std::nullopt;
    if (data.empty() || data.size() > std::numeric_limits<DWORD>::max()) return std::nullopt;

    ensureFreeImage();
    // FreeImage only reads from a memory stream it did not allocate, and never writes to it.
    Memory memory(FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(data.data())),
                                       static_cast<DWORD>(data.size())));
    if (!memory) return std::nullopt;
    // Only the decoder the target names is given the bytes.
    if (FreeImage_GetFileTypeFromMemory(memory.get(), 0) != wanted) return std::nullopt;
    {
        // A few bytes can claim a picture of any size: its size is read before its pixels.
        Image header(FreeImage_LoadFromMemory(wanted, memory.get(), FIF_LOAD_NOPIXELS));
        if (!header) return std::nullopt;
        const uint64_t rows = uint64_t{FreeImage_GetPitch(header.get())} * FreeImage_GetHeight(header.get());
        if (rows == 0 || rows > maxDibBytes) return std::nullopt;
        FreeImage_SeekMemory(memory.get(), 0, SEEK_SET);
    }
    Image image(FreeImage_LoadFromMemory(wanted, memory.get(), 0));
    if (!image) return std::nullopt;
    image = toDibCompatible(std::move(image));
    if (!image) return std::nullopt;

    const unsigned bpp = FreeImage_GetBPP(image.get());
    const uint64_t pitch = FreeImage_GetPitch(image.get());
    const uint64_t height = FreeImage_GetHeight(image.get());
    const BYTE* bits = FreeImage_GetBits(image.get());
    if (!bits || pitch * height > maxDibBytes) return std::nullopt;
    const unsigned colours = bpp <= 8 ? FreeImage_GetColorsUsed(image.get()) : 0;
    const RGBQUAD* palette = FreeImage_GetPalette(image.get());

    BitmapInfoHeader h;
    h.biWidth = static_cast<int32_t>(FreeImage_GetWidth(image.get()));
    h.biHeight = static_cast<int32_t>(height);  // FreeImage keeps rows bottom-up, as a DIB does
    h.biBitCount = static_cast<uint16_t>(bpp);
    h.biCompression = BI_RGB;
    h.biSizeImage = static_cast<uint32_t>(pitch * height);
    h.biXPelsPerMeter = static_cast<int32_t>(FreeImage_GetDotsPerMeterX(image.get()));
    h.biYPelsPerMeter = static_cast<int32_t>(FreeImage_GetDotsPerMeterY(image.get()));
    h.biClrUsed = colours;

    std::string dib(BitmapInfoHeader::kBytes + 4 * size_t{colours} + pitch * height, '\0');
    h.write(dib.data());
    if (colours > 0 && palette) std::memcpy(dib.data() + BitmapInfoHeader::kBytes, palette, 4 * size_t{colours});
    std::memcpy(dib.data() + BitmapInfoHeader::kBytes + 4 * size_t{colours}, bits, pitch * height);
    return dib;
}

std::optional<std::string> uriListToDropFiles(std::string_view uriList) {
    const std::vector<std::string> paths = uriListPaths(uriList);
    if (paths.empty()) return std::nullopt;
    return dropFilesFromNames(paths);
}

std::optional<uint32_t> dropEffectFromTarget(std::string_view targetName, std::string_view data) {
    if (equalsIgnoreCase(targetName, target::kGnomeCopiedFiles)) {
        const std::vector<std::string_view> all = lines(upToNul(data));
        if (all.empty()) return std::nullopt;
        const std::string_view action = trimLeading(trimTrailing(all.front(), " \t"), " \t");
        if (action == "copy") return kDropEffectCopy;
        if (action == "cut") return kDropEffectMove;
        if (action == "link") return kDropEffectCopy | kDropEffectLink;
        return std::nullopt;
    }
    if (equalsIgnoreCase(targetName, target::kKdeCutSelection)) {
        const std::string_view value = trimLeading(trimTrailing(upToNul(data), " \t\r\n"), " \t");
        if (value == "1") return kDropEffectMove;
        if (value == "0") return kDropEffectCopy;
        return std::nullopt;
    }
    return std::nullopt;
}

std::string dropEffectBytes(uint32_t effect) {
    std::string out;
    append32(out, effect);
    return out;
}

std::optional<uint32_t> readDropEffect(std::string_view bytes) {
    if (bytes.size() < 4) return std::nullopt;
    return read32(bytes, 0);
}

// ---- writing conversions

std::optional<std::string> unicodeTextToTarget(std::string_view targetName,
                                               std::string_view unicodeText) {
    const std::u16string text = utf16leText(unicodeText);
    if (isUtf8Target(targetName)) return utf16ToUtf8(text);
    if (targetName == target::kString) {
        std::string latin1;
        latin1.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                text[i + 1] <= 0xDFFF)
                ++i;  // one character beyond the Basic Multilingual Plane: one "?"
            latin1.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
        }
        return latin1;
    }
    return std::nullopt;
}

std::optional<std::string> htmlFormatToHtml(std::string_view data) {
    data = trimTrailing(data, std::string_view("\0", 1));
    if (data.empty()) return std::nullopt;
    if (!startsWithIgnoreCase(data, "Version:")) return std::string(data);

    std::optional<int64_t> startHtml, endHtml, startFragment, endFragment;
    size_t pos = 0;
    std::string_view key, value;
    while (headerLine(data, pos, key, value)) {
        if (equalsIgnoreCase(key, "StartHTML")) startHtml = headerNumber(value);
        else if (equalsIgnoreCase(key, "EndHTML")) endHtml = headerNumber(value);
        else if (equalsIgnoreCase(key, "StartFragment")) startFragment = headerNumber(value);
        else if (equalsIgnoreCase(key, "EndFragment")) endFragment = headerNumber(value);
    }
    const size_t headerEnd = pos;
    auto range = [&](const std::optional<int64_t>& s, const std::optional<int64_t>& e)
        -> std::optional<std::string> {
        if (!s || !e || *s < static_cast<int64_t>(headerEnd) || *e < *s ||
            *e > static_cast<int64_t>(data.size()))
            return std::nullopt;
        return std::string(data.substr(static_cast<size_t>(*s), static_cast<size_t>(*e - *s)));
    };
    if (auto markup = range(startHtml, endHtml)) return markup;
    if (auto fragment = range(startFragment, endFragment)) return fragment;
    return std::string(data.substr(headerEnd));
}

std::optional<std::string> dibToPng(std::string_view dib) {
    const std::optional<DibLayout> l = parseDib(dib);
    if (!l) return std::nullopt;
    const unsigned bpp = l->header.biBitCount;
    ensureFreeImage();
    Image image(FreeImage_Allocate(static_cast<int>(l->width), static_cast<int>(l->height), static_cast<int>(bpp),
                                   l->masks[0], l->masks[1], l->masks[2]));
    if (!image || FreeImage_GetPitch(image.get()) != l->pitch) return std::nullopt;
    FreeImage_SetDotsPerMeterX(image.get(), static_cast<unsigned>(std::max(0, l->header.biXPelsPerMeter)));
    FreeImage_SetDotsPerMeterY(image.get(), static_cast<unsigned>(std::max(0, l->header.biYPelsPerMeter)));
    if (bpp <= 8) {
        RGBQUAD* palette = FreeImage_GetPalette(image.get());
        if (!palette) return std::nullopt;
        std::memcpy(palette, dib.data() + l->tableOffset, 4 * l->colours);
    }
    const char* rows = dib.data() + l->bitsOffset;
    for (uint64_t r = 0; r < l->height; ++r) {
        // FreeImage's first scan line is the bottom one, as in a bottom-up DIB.
        const uint64_t source = l->topDown ? l->height - 1 - r : r;
        std::memcpy(FreeImage_GetScanLine(image.get(), static_cast<int>(r)), rows + source * l->pitch, l->pitch);
    }
    if (bpp == 32) {
        bool anyAlpha = false;
        for (uint64_t r = 0; r < l->height && !anyAlpha; ++r) {
            const BYTE* line = FreeImage_GetScanLine(image.get(), static_cast<int>(r));
            for (uint64_t x = 0; x < l->width; ++x)
                if (line[4 * x + 3] != 0) {
                    anyAlpha = true;
                    break;
                }
        }
        if (!anyAlpha) {
            for (uint64_t r = 0; r < l->height; ++r) {
                BYTE* line = FreeImage_GetScanLine(image.get(), static_cast<int>(r));
                for (uint64_t x = 0; x < l->width; ++x) line[4 * x + 3] = 0xFF;
            }
        }
    }
    if (bpp == 16) {
        // PNG has no 5- or 6-bit channels.
        Image wide(FreeImage_ConvertTo24Bits(image.get()));
        if (!wide) return std::nullopt;
        image = std::move(wide);
    }
    return encode(image.get(), FIF_PNG, PNG_DEFAULT);
}

std::optional<std::string> dibToBmp(std::string_view dib) {
    const std::optional<DibLayout> l = parseDib(dib);
    if (!l) return std::nullopt;
    const uint64_t used = l->bitsOffset + l->pitch * l->height;
    const uint64_t fileSize = 14 + used;
    if (fileSize > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    std::string out = "BM";
    append32(out, static_cast<uint32_t>(fileSize));
    append32(out, 0);
    append32(out, static_cast<uint32_t>(14 + l->bitsOffset));
    out.append(dib.substr(0, static_cast<size_t>(used)));
    return out;
}

std::vector<std::string> dropFilesNames(std::string_view data) {
    std::vector<std::string> names;
    if (data.size() < kDropFilesHeader) return names;
    const uint32_t offset = read32(data, 0);
    const bool wide = read32(data, 16) != 0;
    if (offset < kDropFilesHeader || offset > data.size()) return names;
    std::string_view list = data.substr(offset);
    while (!list.empty()) {
        if (wide) {
            size_t end = 0;
            while (end + 1 < list.size() && (list[end] != '\0' || list[end + 1] != '\0')) end += 2;
            const std::u16string name = utf16leText(list.substr(0, end));
            if (name.empty()) break;
            names.push_back(utf16ToUtf8(name));
            list.remove_prefix(std::min(list.size(), end + 2));
        } else {
            const size_t end = std::min(list.find('\0'), list.size());
            if (end == 0) break;
            names.push_back(utf16ToUtf8(ansiToUtf16(list.substr(0, end))));
            list.remove_prefix(std::min(list.size(), end + 1));
        }
    }
    return names;
}

std::string dropFilesFromNames(std::span<const std::string> names) {
    std::string out;
    append32(out, kDropFilesHeader);  // offset of the names
    append32(out, 0);                 // drop point x
    append32(out, 0);                 // drop point y
    append32(out, 0);                 // point in the client area
    append32(out, 1);                 // wide names
    for (const std::string& name : names) out += utf16leBytes(utf8ToUtf16(name), true);
    append16(out, 0);  // the empty name ends the list
    return out;
}

std::string uriListFromNames(std::span<const std::string> names) {
    std::string out;
    for (const std::string& name : names)
        if (!name.empty() && name.front() == '/') out += fileUri(name) + "\r\n";
    return out;
}

std::string gnomeCopiedFiles(uint32_t effect, std::span<const std::string> names) {
    std::string out = moves(effect) ? "cut" : "copy";
    for (const std::string& name : names)
        if (!name.empty() && name.front() == '/') out += "\n" + fileUri(name);
    return out;
}

std::string kdeCutSelection(uint32_t effect) { return moves(effect) ? "1" : "0"; }

std::vector<TargetData> targetsFromWindows(std::span<const FormatData> formats) {
    auto find = [&](WinFormat f) -> const FormatData* {
        for (const FormatData& d : formats)
            if (d.format == f) return &d;
        return nullptr;
    };
    const FormatData* unicode = find(WinFormat::UnicodeText);
    const FormatData* effectData = find(WinFormat::PreferredDropEffect);
    const FormatData* files = find(WinFormat::HDrop);
    const uint32_t effect = effectData ? readDropEffect(effectData->bytes).value_or(kDropEffectCopy) : kDropEffectCopy;
    std::vector<std::string> fileNames;
    if (files) fileNames = dropFilesNames(files->bytes);

    std::vector<TargetData> out;
    auto add = [&](std::string_view name, std::string bytes) {
        for (const TargetData& t : out)
            if (t.target == name) return;  // the first format that gives a target keeps it
        out.push_back({std::string(name), std::move(bytes)});
    };
    auto addText = [&](std::string_view unicodeText) {
        for (std::string_view t :
             {target::kUtf8String, target::kTextPlainUtf8, target::kTextPlain, target::kString})
            add(t, *unicodeTextToTarget(t, unicodeText));
    };
    for (const FormatData& d : formats) {
        switch (d.format) {
            case WinFormat::UnicodeText:
                addText(d.bytes);
                break;
            case WinFormat::Text:
                if (!unicode) {
                    std::string ansi(upToNul(d.bytes));
                    addText(utf16leBytes(ansiToUtf16(ansi), true));
                }
                break;
            case WinFormat::Html:
                if (auto markup = htmlFormatToHtml(d.bytes)) add(target::kHtml, std::move(*markup));
                break;
            case WinFormat::Rtf:
                for (std::string_view t : {target::kRtf, target::kRichText, target::kApplicationRtf}) add(t, d.bytes);
                break;
            case WinFormat::Csv:
                add(target::kCsv, d.bytes);
                break;
            case WinFormat::Png:
                add(target::kPng, d.bytes);
                break;
            case WinFormat::Dib:
                // A PNG file the data also holds is served as it is, without encoding.
                if (!find(WinFormat::Png))
                    if (auto png = dibToPng(d.bytes)) add(target::kPng, std::move(*png));
                if (auto bmp = dibToBmp(d.bytes)) add(target::kBmp, std::move(*bmp));
                break;
            case WinFormat::HDrop: {
                std::string uris = uriListFromNames(fileNames);
                if (uris.empty()) break;
                add(target::kUriList, std::move(uris));
                add(target::kGnomeCopiedFiles, gnomeCopiedFiles(effect, fileNames));
                break;
            }
            case WinFormat::PreferredDropEffect:
                if (files && !uriListFromNames(fileNames).empty() && readDropEffect(d.bytes))
                    add(target::kKdeCutSelection, kdeCutSelection(effect));
                break;
            case WinFormat::QuilletTag:
                add(target::kQuilletTag, d.bytes);
                break;
        }
    }
    return out;
}

}  // namespace platform
