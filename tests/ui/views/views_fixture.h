#pragma once

// A history, a configuration and the program's actions as the views see them, with records
// named by their text.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "model/data_object.h"
#include "model/block_items.h"
#include "model/history.h"
#include "model/search_list.h"
#include "model/text_item.h"
#include "persist/config/app_config.h"
#include "ui/views/app_icon_provider.h"
#include "ui/views/view_context.h"

namespace viewstest {

inline cb::RecordPtr record(const std::string& text) {
    cb::RecordPtr r(new cb::Record());
    r->setTextUtf8(text);
    return r;
}

// A record as a capture makes it: the text and the other items in its payload.
inline cb::RecordPtr capturedRecord(const std::u16string& text,
                                    std::vector<std::unique_ptr<cb::Item>> others = {}) {
    cb::DataObject items;
    items.add(std::make_unique<cb::TextItem>(text));
    for (auto& item : others) items.add(std::move(item));
    cb::RecordPtr r = cb::Record::createForCapture(0);
    EXPECT_TRUE(r->completeFromItems(items));
    return r;
}

inline std::string texts(const cb::RecordList& list) {
    std::string out;
    for (const auto& r : list.records()) out += (out.empty() ? "" : ",") + r->textUtf8();
    return out;
}

inline std::string names(const cb::History& history) {
    std::string out;
    for (const auto* l : history.lists()) out += (out.empty() ? "" : ",") + l->nameUtf8();
    return out;
}

// A list of records "<prefix>0" .. "<prefix>n-1", front first.
inline cb::RecordList* makeList(const std::u16string& name, int n, const std::string& prefix = "r") {
    auto* list = new cb::RecordList(name);
    list->setMaxCount(1000);
    for (int i = n - 1; i >= 0; --i) list->add(record(prefix + std::to_string(i)));
    return list;
}

class ViewsTest : public ::testing::Test {
protected:
    // Lists "Main" (listening, 10 records m0..m9), "Work" (3 records w0..w2), "Search".
    void SetUp() override {
        history.insertList(makeList(u"Main", 10, "m"), 0);
        history.insertList(makeList(u"Work", 3, "w"), 1);
        history.insertList(new SearchList(u"Search"), 2);
        history.setListeningList(history.at(0));
        actions.pasteRecord = [this](const cb::RecordPtr& r, const cb::RecordList*) {
            pasted.push_back(r->textUtf8());
            return true;
        };
        actions.copyRecord = [this](const cb::RecordPtr& r, const cb::RecordList*) {
            copied.push_back(r->textUtf8());
            return true;
        };
        actions.messageBox = [this](QMessageBox::Icon icon, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons) {
            messages.push_back({icon, title, text});
            return answer;
        };
    }

    cb::RecordList& list(int i) { return *history.at(static_cast<size_t>(i)); }
    SearchList& search() { return static_cast<SearchList&>(list(2)); }

    // Runs queued events until the condition holds (at most a few seconds).
    template <class Condition>
    static bool waitFor(Condition condition, int ms = 5000) {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QTest::qWait(5);
        }
        return true;
    }

    struct Message {
        QMessageBox::Icon icon;
        QString title;
        QString text;
    };

    cb::History history;
    AppConfig config;
    AppIconProvider icons{QStringList()};
    ViewActions actions;
    ViewContext context{history, config, icons, actions};
    std::vector<std::string> pasted;
    std::vector<std::string> copied;
    std::vector<Message> messages;
    QMessageBox::StandardButton answer = QMessageBox::Yes;
};

}  // namespace viewstest
