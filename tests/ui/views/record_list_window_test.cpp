#include <QAccessible>
#include <QLineEdit>
#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>

#include "platform/clipboard_conversions.h"
#include "ui/views/record_drag_data.h"
#include "ui/views/record_list_model.h"
#include "ui/views/record_list_view.h"
#include "ui/views/record_list_window.h"
#include "ui/views/search_list_window.h"
#include "views_fixture.h"

using namespace viewstest;

namespace {

class RecordListWindowTest : public ViewsTest {
protected:
    std::unique_ptr<RecordListWindow> show(cb::RecordList& l) {
        auto w = std::make_unique<RecordListWindow>(l, context);
        w->resize(300, 400);
        w->show();
        QCoreApplication::processEvents();
        return w;
    }
    static QPoint rowCentre(RecordListWindow& w, int row) {
        return w.view().visualRect(w.model().index(row, 0)).center();
    }
    // The tag of a record of a list, as a drag out of that list carries it, with another
    // process id when asked.
    static std::unique_ptr<QMimeData> dragOf(const cb::RecordPtr& r, const cb::RecordList& from,
                                             uint32_t processId = 0) {
        auto mime = makeRecordMimeData(*r, &from);
        if (processId != 0) {
            QByteArray tag = mime->data(recordTagFormat());
            for (int i = 0; i < 4; ++i) tag[8 + i] = static_cast<char>(processId >> (8 * i));
            mime->setData(recordTagFormat(), tag);
        }
        return mime;
    }
};

TEST(RecordListModelText, RowShowsTrimmedTextOnOneLine) {
    struct Case {
        std::string text;
        QString shown;
    } cases[] = {
        {"  \t leading blanks", "leading blanks"},
        {"first line\r\nsecond line\n", "first line  second line"},
        {"tab\tinside", "tab inside"},
        {"\n\n", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(RecordListModel::displayText(*record(c.text)), c.shown) << c.text;
    // A huge text is cut to what a row can show.
    EXPECT_EQ(RecordListModel::displayText(*record(std::string(100000, 'x'))).size(),
              RecordListModel::kDisplayChars);
}

TEST_F(RecordListWindowTest, TooltipHoldsTheFirst600CharactersOfTheText) {
    cb::RecordList l(u"L");
    l.add(record(std::string(700, 'a') + "\nend"));
    RecordListModel model(l);
    const QString tip = model.index(0, 0).data(Qt::ToolTipRole).toString();
    EXPECT_EQ(tip, QString(600, u'a'));
}

TEST_F(RecordListWindowTest, RowsFollowTheList) {
    auto w = show(list(1));
    ASSERT_EQ(w->rowCount(), 3);
    list(1).add(record("new"));
    list(1).remove(list(1).at(2));
    list(1).moveToFront(3);
    ASSERT_EQ(w->rowCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(w->model().index(i, 0).data().toString().toStdString(), list(1).at(i)->textUtf8());
    list(1).clear();
    EXPECT_EQ(w->rowCount(), 0);
}

TEST_F(RecordListWindowTest, SelectionStaysOnTheSameRecordThroughRemovals) {
    // m0..m9, row 5 selected; the row removed -> the row selected afterwards.
    struct Case {
        int removed;
        int selectedAfter;
        std::string record;
    } cases[] = {
        {2, 4, "m5"},  // before the selection: the same record, one row up
        {7, 5, "m5"},  // after it: unchanged
        {5, 5, "m6"},  // the selected one: the record that takes its place
    };
    for (const auto& c : cases) {
        cb::RecordList* l = makeList(u"L", 10, "m");
        auto w = show(*l);
        w->selectRow(5);
        l->removeAt(static_cast<size_t>(c.removed));
        EXPECT_EQ(w->selectedRow(), c.selectedAfter) << c.removed;
        EXPECT_EQ(w->selectedRecord()->textUtf8(), c.record) << c.removed;
        w.reset();
        delete l;
    }
    // The selected last row removed: the selection goes to the row before.
    cb::RecordList* l = makeList(u"L", 3, "m");
    auto w = show(*l);
    w->selectRow(2);
    l->removeAt(2);
    EXPECT_EQ(w->selectedRow(), 1);
    w.reset();
    delete l;
}

TEST_F(RecordListWindowTest, SelectionFollowsInsertionsAndMovesToTheFront) {
    auto w = show(list(0));
    w->selectRow(4);  // m4
    list(0).add(record("new"));
    EXPECT_EQ(w->selectedRecord()->textUtf8(), "m4");
    list(0).moveToFront(8);  // a record behind the selection: m4 moves down one row
    EXPECT_EQ(w->selectedRow(), 6);
    EXPECT_EQ(w->selectedRecord()->textUtf8(), "m4");
    list(0).moveToFront(6);  // the selected one itself
    EXPECT_EQ(w->selectedRow(), 0);
    EXPECT_EQ(w->selectedRecord()->textUtf8(), "m4");
}

TEST_F(RecordListWindowTest, DragOutCarriesEveryFormatAsX11TargetsAndOurTag) {
    const std::string markup =
        "<html><body><!--StartFragment--><b>bold</b> text<!--EndFragment--></body></html>";
    std::vector<std::unique_ptr<cb::Item>> others;
    others.push_back(std::make_unique<cb::HtmlItem>(
        cmn::mblock<char>(platform::htmlToHtmlFormat(markup))));
    const cb::RecordPtr r = capturedRecord(u"bold text", std::move(others));
    list(1).add(r);
    const auto mime = makeRecordMimeData(*r, &list(1));
    EXPECT_EQ(mime->data("UTF8_STRING"), QByteArray("bold text"));
    EXPECT_EQ(mime->data("text/plain;charset=utf-8"), QByteArray("bold text"));
    EXPECT_EQ(mime->data("text/html").toStdString(), markup);
    const auto tag = readRecordTag(*mime);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->record, r);
    EXPECT_EQ(tag->list, &list(1));
}

TEST_F(RecordListWindowTest, DropOnARowInsertsThereAndBelowTheLastRowAppends) {
    auto work = show(list(1));  // w0 w1 w2
    const cb::RecordPtr m3 = list(0).at(3);
    ASSERT_TRUE(work->dropAt(*dragOf(m3, list(0)), rowCentre(*work, 1)));
    EXPECT_EQ(texts(list(1)), "w0,m3,w1,w2");
    EXPECT_EQ(list(0).indexOf(m3), -1);

    const cb::RecordPtr m0 = list(0).at(0);
    const QPoint below(10, rowCentre(*work, 3).y() + 40);
    ASSERT_TRUE(work->dropAt(*dragOf(m0, list(0)), below));
    EXPECT_EQ(texts(list(1)), "w0,m3,w1,w2,m0");

    // Within one list the record moves.
    ASSERT_TRUE(work->dropAt(*dragOf(list(1).at(4), list(1)), rowCentre(*work, 0)));
    EXPECT_EQ(texts(list(1)), "m0,w0,m3,w1,w2");

    // Outside the rows and not below them: nothing.
    EXPECT_FALSE(work->dropAt(*dragOf(list(0).at(0), list(0)), QPoint(10, -5)));
    EXPECT_EQ(list(1).count(), 5u);
}

TEST_F(RecordListWindowTest, DropsThatAreNotOursOrCrossASearchListAreRefused) {
    auto work = show(list(1));
    const cb::RecordPtr m1 = list(0).at(1);
    // Another running copy of the program: its tag names objects that are not ours.
    EXPECT_FALSE(work->acceptsDrop(*dragOf(m1, list(0), 0x7FFFFFF0u)));
    // Data without our tag.
    QMimeData plain;
    plain.setText("text");
    EXPECT_FALSE(work->acceptsDrop(plain));

    search().add(m1);
    auto searchWindow = std::make_unique<SearchListWindow>(search(), context);
    EXPECT_FALSE(searchWindow->acceptsDrop(*dragOf(m1, list(0))));   // into a search list
    EXPECT_FALSE(work->acceptsDrop(*dragOf(m1, search())));          // out of a search list
    EXPECT_TRUE(searchWindow->acceptsDrop(*dragOf(m1, search())));   // within the same search
    EXPECT_TRUE(work->acceptsDrop(*dragOf(m1, list(0))));
}

TEST_F(RecordListWindowTest, FastTypingRunsOneSearchAfterTheLastKeystroke) {
    search().setMaxCount(100);
    list(0).add(record("needle one"));
    list(1).add(record("Needle two"));
    SearchListWindow w(search(), context);
    w.resize(300, 300);
    w.show();
    QSignalSpy searched(&w, &SearchListWindow::searched);
    QTest::keyClicks(&w.searchEdit(), "need", Qt::NoModifier, 20);
    EXPECT_EQ(searched.count(), 0);
    EXPECT_TRUE(w.searchTimer().isActive());
    EXPECT_EQ(w.searchTimer().interval(), 250);
    EXPECT_EQ(search().criteria().textUtf8(), "need");
    ASSERT_TRUE(searched.wait(2000));
    QTest::qWait(300);
    EXPECT_EQ(searched.count(), 1);
    EXPECT_EQ(w.rowCount(), 2);

    w.matchCaseBox().click();
    ASSERT_TRUE(searched.wait(2000));
    EXPECT_EQ(w.rowCount(), 1);
    EXPECT_EQ(w.recordAt(0)->textUtf8(), "needle one");
}

TEST_F(RecordListWindowTest, AnotherWindowsCriteriaChangeShowsWithoutSearchingHere) {
    SearchListWindow a(search(), context);
    SearchListWindow b(search(), context);
    QSignalSpy searchedB(&b, &SearchListWindow::searched);
    a.searchEdit().setText("abc");
    EXPECT_EQ(b.searchEdit().text(), "abc");
    EXPECT_FALSE(b.searchTimer().isActive());
    EXPECT_TRUE(a.searchTimer().isActive());
    search().criteria().setMatchCase(true);
    EXPECT_TRUE(a.matchCaseBox().isChecked());
    EXPECT_TRUE(b.matchCaseBox().isChecked());
}

TEST_F(RecordListWindowTest, RowsReachTheAccessibilityTreeAsTheirText) {
    auto w = show(list(1));
    QAccessibleInterface* view = QAccessible::queryAccessibleInterface(&w->view());
    ASSERT_NE(view, nullptr);
    QStringList names;
    for (int i = 0; i < view->childCount(); ++i)
        if (QAccessibleInterface* child = view->child(i)) names << child->text(QAccessible::Name);
    EXPECT_TRUE(names.contains("w0")) << names.join(',').toStdString();
    EXPECT_TRUE(names.contains("w2"));
    EXPECT_EQ(view->text(QAccessible::Name), "Records");
}

}  // namespace
