#pragma once

// A history filled the way the benchmarks measure it: lists of records, each a random lower-case
// text and random payload bytes, the same for the same seed.

#include <cstddef>
#include <random>
#include <string>

#include "model/history.h"
#include "model/record_list.h"
#include "model/search_list.h"

namespace bench {

struct HistoryShape {
    size_t lists = 10;            // the history is given this many lists
    size_t filledLists = 10;      // this many of them are filled, from the first
    bool skipSearchLists = false; // a search list is neither filled nor counted
    int records = 1000;           // in each filled list, which keeps no more
    size_t textBytes = 200;
    size_t payloadBytes = 1024;
    unsigned seed = 7;
};

inline void fillHistory(cb::History& history, const HistoryShape& shape) {
    history.resetToDefault();
    std::mt19937 random(shape.seed);
    while (history.count() < shape.lists) history.insertList(new cb::RecordList(u"List"), history.count());
    size_t filled = 0;
    for (size_t l = 0; l < history.count() && filled < shape.filledLists; ++l) {
        cb::RecordList* list = history.at(l);
        if (shape.skipSearchLists && dynamic_cast<SearchList*>(list) != nullptr) continue;
        ++filled;
        list->setMaxCount(static_cast<uint32_t>(shape.records));
        for (int i = 0; i < shape.records; ++i) {
            cb::RecordPtr r(new cb::Record());
            std::string text(shape.textBytes, ' ');
            for (auto& c : text) c = static_cast<char>('a' + random() % 26);
            std::string payload(shape.payloadBytes, '\0');
            for (auto& c : payload) c = static_cast<char>(random());
            r->setTextUtf8(std::move(text));
            r->setPayload(cmn::mblock<char>(payload));
            list->add(r);
        }
    }
}

}  // namespace bench
