// Records back on the clipboard: what our data object offers, what a program reading it gets,
// and when the engine does not write at all.

#include <cstring>

#include "engine/clipboard_writer.h"
#include "engine_fixture.h"
#include "model/block_items.h"
#include "model/item_type.h"
#include "model/text_item.h"

namespace engine_test {
namespace {

class Writer : public EngineFixture {
protected:
    Writer() { start(); }

    // The formats a reader is offered, as numbers.
    std::vector<ClipFormat> offered() const {
        std::vector<ClipFormat> out;
        for (const FormatEtc& f : desk.clipboardFormats()) out.push_back(f.cfFormat);
        return out;
    }
    size_t writes() const {
        const auto& calls = desk.calls();
        return static_cast<size_t>(std::count(calls.begin(), calls.end(), "oleSetClipboard"));
    }
};

TEST_F(Writer, ARecordOffersItsFormatsInTheCapturedOrderAndAReaderGetsTheCapturedBytes) {
    const RegisteredFormats& f = registeredFormats();
    const std::string html = "Version:0.9\r\n<b>bold</b>";
    const std::string rtf = "{\\rtf1 bold}";
    desk.copy(editorFrame, {sim::bytesOffer(f.html, html), sim::unicodeTextOffer(u"bold"),
                            sim::bytesOffer(f.rtf, rtf)});
    pump();
    const cb::RecordPtr record = front();
    ASSERT_EQ(record->textIndex(), 1);
    copyText(editorFrame, u"something else");

    ASSERT_TRUE(engine.writeRecord(record, &listening()));
    EXPECT_EQ(offered(), (std::vector<ClipFormat>{f.html, CF_UNICODETEXT, CF_TEXT, f.rtf, f.quilletTag}));
    EXPECT_EQ(desk.readClipboard(f.html, TYMED_HGLOBAL), html);
    EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"bold"));
    EXPECT_EQ(desk.readClipboard(CF_TEXT, TYMED_HGLOBAL), std::string("bold\0", 5));
    EXPECT_EQ(desk.readClipboard(f.rtf, TYMED_HGLOBAL), rtf);
    EXPECT_EQ(desk.readClipboard(CF_DIB, TYMED_HGLOBAL), std::nullopt);

    // The tag names the record, its list and this process.
    const std::optional<std::string> tag = desk.readClipboard(f.quilletTag, TYMED_HGLOBAL);
    ASSERT_TRUE(tag);
    ASSERT_EQ(tag->size(), 12u);
    uint32_t fields[3];
    std::memcpy(fields, tag->data(), 12);
    EXPECT_EQ(fields[0], record->identity());
    EXPECT_EQ(fields[1], listening().identity());
    EXPECT_EQ(fields[2], desk.ownProcess());

    EXPECT_EQ(engine.lastRecord(), record);
    EXPECT_EQ(engine.lastCaptured(), nullptr);
    EXPECT_EQ(engine.ownDataObject(), desk.clipboardDataObject());
}

TEST_F(Writer, APictureOnlyRecordOffersThePictureAndTheTagButNotItsDescription) {
    config.setBool(1005, true);
    desk.copy(editorFrame, {sim::bytesOffer(CF_DIB, smallDib(9))});
    pump();
    ASSERT_TRUE(engine.writeRecord(front(), nullptr));
    EXPECT_EQ(offered(), (std::vector<ClipFormat>{CF_BITMAP, CF_DIB, registeredFormats().png,
                                                  registeredFormats().quilletTag}));
    const std::optional<std::string> tag = desk.readClipboard(registeredFormats().quilletTag, TYMED_HGLOBAL);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->substr(4, 4), std::string(4, '\0'));  // no list
}

TEST_F(Writer, AFormatWhosePastingIsOffIsLeftOutOfTheWriteOnly) {
    const RegisteredFormats& f = registeredFormats();
    desk.copy(editorFrame, {sim::bytesOffer(f.html, "<i>"), sim::unicodeTextOffer(u"i"),
                            sim::bytesOffer(f.rtf, "{}")});
    pump();
    cb::setPasted(*cb::findTypeByFormat(f.rtf), false, config.options());
    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    EXPECT_EQ(offered(), (std::vector<ClipFormat>{f.html, CF_UNICODETEXT, CF_TEXT, f.quilletTag}));
    // The record keeps it for the next write.
    cb::setPasted(*cb::findTypeByFormat(f.rtf), true, config.options());
    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    EXPECT_EQ(offered().size(), 5u);
}

TEST_F(Writer, TheSameRecordIsNotWrittenAgainOnlyWhenCtrlVIsThePopupShortcutAndReplacingIsOff) {
    copyText(editorFrame, u"last");
    const cb::RecordPtr last = engine.lastRecord();
    auto ctrlV = [&](bool on) {
        config.setBool(kOptPopupShortcutCtrl, on);
        config.setBool(kOptPopupShortcutWin, !on);
    };
    struct Case {
        const char* name;
        bool replace;
        bool ctrlV;
        bool writes;
    } cases[] = {
        {"replace on", true, true, true},
        {"replace off, Win+V", false, false, true},
        {"replace off, Ctrl+V", false, true, false},
    };
    for (const Case& c : cases) {
        config.setBool(kOptReplaceIdenticalClipboard, c.replace);
        ctrlV(c.ctrlV);
        const size_t before = writes();
        EXPECT_TRUE(engine.writeRecord(last, &listening())) << c.name;
        EXPECT_EQ(writes() - before, c.writes ? 1u : 0u) << c.name;
    }
    // Another record is always written.
    copyText(editorFrame, u"newer");
    const size_t before = writes();
    EXPECT_TRUE(engine.writeRecord(listening().at(1), &listening()));
    EXPECT_EQ(writes() - before, 1u);
}

TEST_F(Writer, AFailedWriteChangesNothing) {
    copyText(editorFrame, u"written");
    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    cb::DataObject* written = engine.ownDataObject();
    copyText(editorFrame, u"captured");
    const cb::RecordPtr captured = front();
    const cb::DataObject* lastCaptured = engine.lastCaptured();

    desk.failClipboardWrites(true);
    EXPECT_FALSE(engine.writeRecord(listening().at(1), &listening()));
    desk.failClipboardWrites(false);
    EXPECT_EQ(engine.lastCaptured(), lastCaptured);
    EXPECT_EQ(engine.lastRecord(), captured);
    EXPECT_EQ(engine.ownDataObject(), written);
    EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"captured"));

    // A record that cannot be rebuilt does not even get that far.
    const cb::RecordPtr broken(new cb::Record());
    broken->setPayload(cmn::mblock<char>(std::string_view("not a payload")));
    const size_t before = writes();
    EXPECT_FALSE(engine.writeRecord(broken, nullptr));
    EXPECT_EQ(writes(), before);
    EXPECT_EQ(engine.ownDataObject(), written);
    EXPECT_EQ(engine.lastCaptured(), lastCaptured);
}

TEST_F(Writer, AfterAFailedWriteOurDataStillOnTheClipboardIsFlushedAtExit) {
    copyText(editorFrame, u"on the clipboard");
    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    desk.failClipboardWrites(true);
    EXPECT_FALSE(engine.writeRecord(front(), &listening()));
    desk.failClipboardWrites(false);
    stop();
    // Flushed: the desktop holds a copy of its own, no longer our object.
    EXPECT_EQ(desk.clipboardDataObject(), nullptr);
    EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(u"on the clipboard"));
}

TEST_F(Writer, AfterOurWriteTheSameTextCopiedAgainIsANewRecord) {
    copyText(editorFrame, u"again");
    ASSERT_TRUE(engine.writeRecord(front(), &listening()));
    pump();
    copyText(editorFrame, u"again");
    EXPECT_EQ(listening().count(), 2u);
}

TEST_F(Writer, ATextOnlyRecordOffersTheTextAndTheTagWhateverItWasMadeFrom) {
    for (const std::u16string text : {u"joined\ntexts", u""}) {
        const cb::RecordPtr record(new cb::Record());
        ASSERT_TRUE(cb::makeTextOnlyRecord(*record, text));
        EXPECT_EQ(record->text(), text);
        EXPECT_EQ(record->textIndex(), 0);
        ASSERT_TRUE(engine.writeRecord(record, nullptr));
        EXPECT_EQ(offered(), (std::vector<ClipFormat>{CF_UNICODETEXT, CF_TEXT, registeredFormats().quilletTag}));
        EXPECT_EQ(desk.readClipboard(CF_UNICODETEXT, TYMED_HGLOBAL), utf16Bytes(text));
    }
}

TEST_F(Writer, ADataObjectForARecordHoldsOneReferenceAndTheTextAtItsIndex) {
    const RegisteredFormats& f = registeredFormats();
    desk.copy(editorFrame, {sim::bytesOffer(f.csv, "a,b"), sim::unicodeTextOffer(u"a b")});
    pump();
    Ref<cb::DataObject> data = cb::makeDataObject(*front(), &listening());
    ASSERT_TRUE(data);
    EXPECT_EQ(data->referenceCount(), 1u);
    ASSERT_EQ(data->count(), 3u);
    EXPECT_NE(dynamic_cast<cb::CsvItem*>(data->at(0)), nullptr);
    EXPECT_NE(dynamic_cast<cb::TextItem*>(data->at(1)), nullptr);
    EXPECT_NE(dynamic_cast<cb::QuilletTagItem*>(data->at(2)), nullptr);

    // A record without a payload has nothing to rebuild.
    EXPECT_FALSE(cb::makeDataObject(cb::Record(), nullptr));
}

}  // namespace
}  // namespace engine_test
