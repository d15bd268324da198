// The archive keys of the item classes: the exported names a first pointer to each class
// carries. An unknown key on reading is an error.

#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/embedded_object_item.h"
#include "model/enh_metafile_item.h"
#include "model/item.h"
#include "model/text_item.h"
#include "persist/archive/polymorphic.h"

using cmn::archive::PolymorphicRegistry;

const PolymorphicRegistry<cb::Item>& cmn::archive::PolymorphicBase<cb::Item>::registry() {
    static const PolymorphicRegistry<cb::Item> keys = [] {
        PolymorphicRegistry<cb::Item> r;
        r.add<cb::TextItem>("cb::TextItem")
            .add<cb::RtfItem>("cb::RtfItem")
            .add<cb::HtmlItem>("cb::HtmlItem")
            .add<cb::CsvItem>("cb::CsvItem")
            .add<cb::FilesItem>("cb::FilesItem")
            .add<cb::LocaleItem>("cb::LocaleItem")
            .add<cb::ShellIdList>("cb::ShellIdList")
            .add<cb::ShellIdListOffset>("cb::ShellIdListOffset")
            .add<cb::PreferredDropEffect>("cb::PreferredDropEffect")
            .add<cb::QuilletTagItem>("cb::QuilletTagItem")
            .add<cb::EnhMetaFileItem>("cb::EnhMetaFileItem")
            .add<cb::EmbeddedObjectItem>("cb::EmbeddedObjectItem")
            .add<cb::BitmapItem>("cb::BitmapItem");
        return r;
    }();
    return keys;
}
