#include "export/item_exporter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "model/block_items.h"
#include "model/enh_metafile_item.h"
#include "model/data_object.h"
#include "model/record.h"
#include "model/record_list.h"
#include "model/text_item.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

cb::RecordPtr recordOf(std::vector<std::unique_ptr<cb::Item>> items) {
    cb::DataObject d;
    for (auto& item : items) d.add(std::move(item));
    cb::RecordPtr r(new cb::Record());
    EXPECT_TRUE(r->completeFromItems(d));
    return r;
}


template <class... T>
std::vector<std::unique_ptr<cb::Item>> items(T... item) {
    std::vector<std::unique_ptr<cb::Item>> v;
    (v.push_back(std::move(item)), ...);
    return v;
}

std::unique_ptr<cb::Item> text(const std::string& utf8) {
    auto t = std::make_unique<cb::TextItem>();
    t->setTextUtf8(utf8);
    return t;
}

template <class T>
std::unique_ptr<cb::Item> block(std::string_view bytes) {
    return std::make_unique<T>(cmn::mblock<char>(bytes));
}

class Export : public testsupport::TempFolderTest {
protected:
    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename());
        return names;
    }
    std::string contents(const std::string& name) const { return TempFolderTest::contents(folder / name); }
};

TEST_F(Export, NamesPadNumbersBelowTenWithASpace) {
    cb::RecordList list;
    list.setDiscardOld(false);
    for (int i = 11; i >= 0; --i) list.add(recordOf(items(text("r" + std::to_string(i)))));
    EXPECT_EQ(exportList(list, folder), 12u);
    std::set<std::string> expected;
    for (int i = 0; i < 10; ++i) expected.insert("clip_ " + std::to_string(i) + ".txt");
    expected.insert("clip_10.txt");
    expected.insert("clip_11.txt");
    EXPECT_EQ(files(), expected);
    EXPECT_EQ(contents("clip_ 7.txt"), "r7");
    EXPECT_EQ(exportBasePath("/x", 123), fs::path("/x/clip_123"));
}

TEST_F(Export, EachExportableItemGetsItsFileAndOthersNone) {
    cb::RecordList list;
    // Added oldest first: record 2 holds only a file list, record 1 HTML, CSV and a metafile,
    // record 0 text and RTF.
    list.add(recordOf(items(block<cb::FilesItem>(std::string(20, '\0')))));
    list.add(recordOf(items(block<cb::HtmlItem>("<i>"), block<cb::CsvItem>("a,b\r\n"),
                            std::make_unique<cb::EnhMetaFileItem>(
                                cmn::mblock<char>(std::string_view(" EMF"))))));
    list.add(recordOf(items(text("caf\xC3\xA9"), block<cb::RtfItem>("{\\rtf1 x}"))));
    exportList(list, folder);
    EXPECT_EQ(files(), (std::set<std::string>{"clip_ 0.rtf", "clip_ 0.txt", "clip_ 1.csv",
                                              "clip_ 1.emf", "clip_ 2.txt"}));
    EXPECT_EQ(contents("clip_ 0.txt"), "caf\xC3\xA9");  // UTF-8, no byte-order mark
    EXPECT_EQ(contents("clip_ 0.rtf"), "{\\rtf1 x}");
    EXPECT_EQ(contents("clip_ 1.csv"), "a,b\r\n");
    EXPECT_EQ(contents("clip_ 1.emf"), " EMF");
    // The file list's text item (empty here) is exported as text; the list itself is not.
    EXPECT_EQ(contents("clip_ 2.txt"), "");
}

TEST_F(Export, ExportingAgainReplacesTheFiles) {
    cb::RecordList list;
    list.add(recordOf(items(text("a much longer first text"))));
    exportList(list, folder);
    list.removeAt(0);
    list.add(recordOf(items(text("short"))));
    exportList(list, folder);
    EXPECT_EQ(contents("clip_ 0.txt"), "short");
}

TEST_F(Export, UnwritableFolderWritesNothingAndDoesNotFail) {
    cb::RecordList list;
    list.add(recordOf(items(text("x"))));
    EXPECT_EQ(exportList(list, folder / "missing"), 0u);
}

TEST(ExporterRegistry, RegistrationOrder) {
    std::vector<std::string> extensions;
    for (const auto& type : itemExporterTypes())
        extensions.push_back(type->exporter().extension());
    EXPECT_EQ(extensions, (std::vector<std::string>{".png", ".csv", ".emf", ".rtf", ".txt"}));
}

}  // namespace
