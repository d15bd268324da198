#include "cli/record_builder.h"

#include <FreeImage.h>

#include <cstdio>
#include <filesystem>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/text_item.h"
#include "platform/text_codec.h"

namespace cli {

namespace {

// The item options that name a file read with CallerFiles::read, where "-" is standard input.
constexpr const char* kFileItemOptions[] = {"--text-file", "--html", "--rtf", "--csv"};

std::unique_ptr<cb::Item> imageItem(const std::string& path, const CallerFiles& files) {
    const std::string file = files.resolve(path).string();
    FREE_IMAGE_FORMAT format = FreeImage_GetFileType(file.c_str(), 0);
    if (format == FIF_UNKNOWN) format = FreeImage_GetFIFFromFilename(file.c_str());
    if (format == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(format))
        throw CommandError("\"" + path + "\" is not a picture this program can read.");
    FIBITMAP* image = FreeImage_Load(format, file.c_str(), 0);
    if (image == nullptr) throw CommandError("The picture \"" + path + "\" cannot be read.");
    FIMEMORY* memory = FreeImage_OpenMemory(nullptr, 0);
    const bool saved = FreeImage_SaveToMemory(FIF_PNG, image, memory, 0);
    FreeImage_Unload(image);
    BYTE* bytes = nullptr;
    DWORD size = 0;
    if (!saved || !FreeImage_AcquireMemory(memory, &bytes, &size)) {
        FreeImage_CloseMemory(memory);
        throw CommandError("The picture \"" + path + "\" cannot be stored as PNG.");
    }
    auto item = std::make_unique<cb::BitmapItem>();
    cb::BitmapItem::wxBitmap bitmap;
    bitmap.block.assign(reinterpret_cast<const char*>(bytes), size);
    item->setBitmap(std::move(bitmap));
    FreeImage_CloseMemory(memory);
    return item;
}

// A DROPFILES block with wide names: offset, point, non-client flag, wide flag, the names each
// ending with a NUL, and an empty name.
std::unique_ptr<cb::Item> filesItem(const std::vector<std::string>& paths,
                                    const CallerFiles& files) {
    std::string block(20, '\0');
    block[0] = 20;
    block[16] = 1;
    for (const auto& path : paths) {
        for (char16_t c : platform::utf8ToUtf16(files.absolute(path).string())) {
            block.push_back(static_cast<char>(c & 0xFF));
            block.push_back(static_cast<char>(c >> 8));
        }
        block.append(2, '\0');
    }
    block.append(2, '\0');
    return std::make_unique<cb::FilesItem>(cmn::mblock<char>(block));
}

template <class T>
std::unique_ptr<cb::Item> blockItem(const std::string& bytes) {
    return std::make_unique<T>(cmn::mblock<char>(bytes));
}

}  // namespace

std::string toHtmlClipboardFormat(const std::string& html) {
    if (html.rfind("Version:", 0) == 0) return html;
    const std::string startMarker = "<!--StartFragment-->";
    const std::string endMarker = "<!--EndFragment-->";
    const std::string body = "<html><body>\r\n" + startMarker + html + endMarker + "\r\n</body></html>";
    // Offsets are written with a fixed width, so the header's length does not depend on them.
    const char* layout =
        "Version:0.9\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\nStartFragment:%010zu\r\n"
        "EndFragment:%010zu\r\n";
    char header[160];
    const int headerLength = std::snprintf(header, sizeof header, layout, size_t(0), size_t(0),
                                           size_t(0), size_t(0));
    const size_t start = static_cast<size_t>(headerLength);
    const size_t fragmentStart = start + body.find(startMarker) + startMarker.size();
    const size_t fragmentEnd = start + body.find(endMarker);
    std::snprintf(header, sizeof header, layout, start, start + body.size(), fragmentStart,
                  fragmentEnd);
    return header + body;
}

AddArguments readAddArguments(Arguments& args, CallerFiles& files) {
    AddArguments result;
    result.items = std::make_unique<cb::DataObject>();
    cb::DataObject* items = result.items.get();
    while (!args.empty()) {
        const std::string option = args.take("item");
        if (option == "--list") {
            result.list = args.take("--list LIST");
        } else if (option == "--application") {
            result.application = args.take("--application PATH");
        } else if (option == "--text") {
            auto text = std::make_unique<cb::TextItem>();
            // Through UTF-16 and back, as the clipboard carries text: malformed bytes are mended.
            text->setText(platform::utf8ToUtf16(args.take("--text TEXT")));
            items->add(std::move(text));
        } else if (option == "--text-file") {
            auto text = std::make_unique<cb::TextItem>();
            text->setText(platform::utf8ToUtf16(files.read(args.take("--text-file FILE"))));
            items->add(std::move(text));
        } else if (option == "--html") {
            items->add(blockItem<cb::HtmlItem>(
                toHtmlClipboardFormat(files.read(args.take("--html FILE")))));
        } else if (option == "--rtf") {
            items->add(blockItem<cb::RtfItem>(files.read(args.take("--rtf FILE"))));
        } else if (option == "--csv") {
            items->add(blockItem<cb::CsvItem>(files.read(args.take("--csv FILE"))));
        } else if (option == "--image") {
            items->add(imageItem(args.take("--image FILE"), files));
        } else if (option == "--files") {
            std::vector<std::string> paths;
            while (!args.empty() && args.peek().rfind("--", 0) != 0) paths.push_back(args.take("path"));
            if (paths.empty()) throw UsageError("--files needs at least one path");
            items->add(filesItem(paths, files));
        } else {
            throw UsageError("unknown item \"" + option + "\"");
        }
    }
    if (items->empty()) throw UsageError("add needs at least one item");
    return result;
}

bool readsStandardInput(const std::vector<std::string>& words) {
    if (words.empty() || words[0] != "add") return false;
    for (size_t i = 1; i + 1 < words.size(); ++i)
        for (const char* option : kFileItemOptions)
            if (words[i] == option && words[i + 1] == "-") return true;
    return false;
}

}  // namespace cli
