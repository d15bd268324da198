#pragma once

// The history file's classes and layout as Boost.Serialization declares them, so that Boost's own
// text_iarchive can read our history files: the yardstick the history loader is measured
// against. Only the benchmarks use it; the program never links Boost.Serialization.

#include <boost/archive/text_iarchive.hpp>
#include <boost/serialization/base_object.hpp>
#include <boost/serialization/deque.hpp>
#include <boost/serialization/export.hpp>
#include <boost/serialization/shared_ptr.hpp>
#include <boost/serialization/split_member.hpp>
#include <boost/serialization/string.hpp>
#include <boost/serialization/vector.hpp>
#include <cstdint>
#include <deque>
#include <istream>
#include <memory>
#include <string>
#include <vector>

namespace boost_reference {

struct ArchiveInfo {
    int appVersion = 0;
    int revision = 0;
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar & appVersion & revision;
    }
};

// cmn::mblock<char>: the size, then a binary block.
struct Block {
    uint32_t size = 0;
    std::unique_ptr<char[]> data;
    template <class Archive>
    void load(Archive& ar, unsigned) {
        ar & size;
        data.reset(size != 0 ? new char[size] : nullptr);
        if (size != 0) ar.load_binary(data.get(), size);
    }
    template <class Archive>
    void save(Archive&, unsigned) const {}
    BOOST_SERIALIZATION_SPLIT_MEMBER()
};

struct Record {
    Block payload;
    std::string text;
    std::string application;
    uint32_t time = 0;
    int32_t textIndex = 0;
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    unsigned char data4[8] = {};
    template <class Archive>
    void serialize(Archive& ar, unsigned version) {
        ar & payload & text & application & time & textIndex;
        if (version >= 1) ar & data1 & data2 & data3 & data4;
    }
};

struct RecordList {
    virtual ~RecordList() = default;
    std::deque<boost::shared_ptr<Record>> records;
    std::string name;
    unsigned maxCount = 0;
    bool discardOld = false;
    bool moveToFront = false;
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar & records & name & maxCount & discardOld & moveToFront;
    }
};

struct SearchCriteria {
    std::string text;
    bool reserved = false;
    bool matchCase = false;
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar & text & reserved & matchCase;
    }
};

struct SearchList : RecordList {
    SearchCriteria criteria;
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar & boost::serialization::base_object<RecordList>(*this) & criteria;
    }
};

struct History {
    ~History() {
        for (RecordList* list : lists) delete list;
        for (RecordList* list : pendingLists) delete list;
    }
    uint32_t reserved = 0;
    std::vector<RecordList*> lists;
    RecordList* listeningList = nullptr;
    unsigned maxLists = 0;
    std::vector<RecordList*> pendingLists;
    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar & reserved & lists & listeningList & maxLists & pendingLists;
    }
};

// Reads the archive text of a history file (what follows its magic).
inline void readHistory(std::istream& in, History& history) {
    boost::archive::text_iarchive archive(in);
    ArchiveInfo info;
    archive >> info;
    archive >> history;
}

}  // namespace boost_reference

BOOST_CLASS_VERSION(boost_reference::Record, 1)
BOOST_CLASS_TRACKING(boost_reference::ArchiveInfo, boost::serialization::track_never)
BOOST_CLASS_TRACKING(boost_reference::Block, boost::serialization::track_never)
BOOST_CLASS_TRACKING(boost_reference::SearchCriteria, boost::serialization::track_never)
BOOST_CLASS_TRACKING(boost_reference::History, boost::serialization::track_never)
BOOST_CLASS_TRACKING(boost_reference::Record, boost::serialization::track_always)
BOOST_CLASS_TRACKING(boost_reference::RecordList, boost::serialization::track_always)
BOOST_CLASS_TRACKING(boost_reference::SearchList, boost::serialization::track_always)
BOOST_CLASS_EXPORT_GUID(boost_reference::SearchList, "SearchList")
