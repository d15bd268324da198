#include "model/item_type.h"

#include <algorithm>

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/embedded_object_item.h"
#include "model/enh_metafile_item.h"
#include "model/text_item.h"
#include "platform/clipboard_formats.h"

namespace cb {

using namespace platform;

namespace {

// Members are constructed in declaration order, which is the order the registry starts in.
// The registered formats come first: every type below needs its number.
struct StandardTypes {
    const RegisteredFormats& formats = registeredFormats();
    ItemTypeImpl<BitmapItem> bitmap{CF_DIB, 1005, u"Bitmap Picture"};
    ItemTypeImpl<CsvItem> csv{formats.csv, 1008, u"Comma-Separated Values (CSV)"};
    ItemTypeImpl<EmbeddedObjectItem> embedded{formats.embeddedObject, 1007,
                                              u"Embedded Object (experimental support)"};
    ItemTypeImpl<EnhMetaFileItem> metafile{CF_ENHMETAFILE, 1006, u"Metafile Picture"};
    ItemTypeImpl<FilesItem> files{CF_HDROP, 1009, u"Files"};
    ItemTypeImpl<HtmlItem> html{formats.html, 1004, u"Html Text"};
    ItemTypeImpl<QuilletTagItem> tag{formats.quilletTag, 1000, u"Quillet Tag"};
    ItemTypeImpl<PreferredDropEffect> dropEffect{formats.preferredDropEffect, 1012,
                                                 u"Preferred Drop Effect"};
    ItemTypeImpl<ShellIdListOffset> shellOffsets{formats.shellObjectOffsets, 1011,
                                                 u"Shell ID List Offset"};
    ItemTypeImpl<ShellIdList> shellIdList{formats.shellIdList, 1010, u"Shell Id List"};
    ItemTypeImpl<LocaleItem> locale{CF_LOCALE, 1002, u"Locale"};
    ItemTypeImpl<RtfItem> rtf{formats.rtf, 1003, u"Rich Text Format (RTF)"};
    ItemTypeImpl<TextItem> text{CF_UNICODETEXT, 1001, u"Plain Text"};

    std::vector<const ItemType*> inOrder() const {
        return {&bitmap, &csv,          &embedded,    &metafile, &files, &html, &tag,
                &dropEffect, &shellOffsets, &shellIdList, &locale,   &rtf,   &text};
    }
};

const StandardTypes& standardTypes() {
    static const StandardTypes types;
    return types;
}

}  // namespace

ItemTypeRegistry ItemTypeRegistry::standard() { return ItemTypeRegistry(standardTypes().inOrder()); }

const ItemType* ItemTypeRegistry::findTypeByFormat(ClipFormat format) const {
    for (const ItemType* type : types_)
        if (type->format() == format) return type;
    return nullptr;
}

const ItemType* ItemTypeRegistry::findTypeByClass(std::type_index classId) const {
    for (const ItemType* type : types_)
        if (type->classId() == classId) return type;
    return nullptr;
}

void ItemTypeRegistry::sortTypesById() {
    std::stable_sort(types_.begin(), types_.end(), [](const ItemType* a, const ItemType* b) {
        return a->typeId() < b->typeId();
    });
}

ItemTypeRegistry& itemTypes() {
    static ItemTypeRegistry registry = ItemTypeRegistry::standard();
    return registry;
}

const ItemType* findTypeByFormat(ClipFormat format) { return itemTypes().findTypeByFormat(format); }
const ItemType* findTypeByClass(std::type_index classId) {
    return itemTypes().findTypeByClass(classId);
}
const ItemType* findTypeOf(const Item& item) { return findTypeByClass(typeid(item)); }
void sortTypesById() { itemTypes().sortTypesById(); }

bool isRecorded(ClipFormat format, const cmn::option<int>& options) {
    const ItemType* type = findTypeByFormat(format);
    return type && options.getBool(type->recordOptionKey(), false);
}

bool isPasted(ClipFormat format, const cmn::option<int>& options) {
    const ItemType* type = findTypeByFormat(format);
    return type && !options.getBool(type->pasteExclusionKey(), false);
}

void setRecorded(const ItemType& type, bool recorded, cmn::option<int>& options) {
    options.setBool(type.recordOptionKey(), recorded);
}

void setPasted(const ItemType& type, bool pasted, cmn::option<int>& options) {
    options.setBool(type.pasteExclusionKey(), !pasted);
}

}  // namespace cb
