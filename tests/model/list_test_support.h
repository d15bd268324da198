#pragma once

// Records named by their text, and observers that log what they hear together with what the
// list looked like at that moment, so a test sees both the order and the timing of calls.

#include <string>
#include <vector>

#include "model/history.h"
#include "model/record_list.h"

namespace listtest {

inline cb::RecordPtr record(const std::string& text) {
    cb::RecordPtr r(new cb::Record());
    r->setTextUtf8(text);
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

// Logs "inserted:X@i" (where X stands when notified), "removed:X@i", "front:i=X", "cleared",
// "reset:n".
class ListLog : public cb::RecordListObserver {
public:
    // With a sink, several observers log into one sequence (to see their order).
    explicit ListLog(cb::RecordList& list, std::string tag = "",
                     std::vector<std::string>* sink = nullptr)
        : list_(list), tag_(std::move(tag)), sink_(sink ? sink : &events) {
        list_.addObserver(this);
    }
    ~ListLog() { list_.removeObserver(this); }

    void recordInserted(const cb::RecordPtr& r) override {
        add("inserted:" + r->textUtf8() + "@" + std::to_string(list_.indexOf(r)));
    }
    void recordRemoved(const cb::RecordPtr& r) override {
        add("removed:" + r->textUtf8() + "@" + std::to_string(list_.indexOf(r)));
    }
    void recordMovedToFront(size_t oldIndex) override {
        const auto r = list_.at(oldIndex);
        add("front:" + std::to_string(oldIndex) + "=" + (r ? r->textUtf8() : "null"));
    }
    void recordsCleared() override { add("cleared:" + std::to_string(list_.count())); }
    void recordsReset() override { add("reset:" + std::to_string(list_.count())); }

    std::vector<std::string> events;

private:
    void add(std::string e) { sink_->push_back(tag_ + e); }
    cb::RecordList& list_;
    std::string tag_;
    std::vector<std::string>* sink_;
};

// Logs "inserted:Name@i (at i: Name)", "removed:Name@i", "listening:Old>New", "changed:Name",
// "moved:a>b".
class HistoryLog : public cb::HistoryObserver {
public:
    explicit HistoryLog(cb::History& history) : history_(history) { history_.addObserver(this); }
    ~HistoryLog() { history_.removeObserver(this); }

    void listInserted(cb::RecordList* l, size_t index) override {
        const cb::RecordList* there = history_.at(index);
        events.push_back("inserted:" + l->nameUtf8() + "@" + std::to_string(index) +
                         (there == l ? "" : "(elsewhere)"));
    }
    void listRemoved(cb::RecordList* l) override {
        events.push_back("removed:" + l->nameUtf8() + "@" + std::to_string(history_.indexOf(l)));
    }
    void listeningListChanged(cb::RecordList* oldList, cb::RecordList* newList) override {
        events.push_back("listening:" + name(oldList) + ">" + name(newList) + "@" +
                         name(history_.listeningList()));
    }
    void listChanged(cb::RecordList* l) override { events.push_back("changed:" + l->nameUtf8()); }
    void listMoved(int from, int to) override {
        events.push_back("moved:" + std::to_string(from) + ">" + std::to_string(to));
    }

    std::vector<std::string> events;

private:
    static std::string name(const cb::RecordList* l) { return l ? l->nameUtf8() : "null"; }
    cb::History& history_;
};

}  // namespace listtest
