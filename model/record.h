#pragma once

#include <array>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "model/mblock.h"
#include "persist/archive/limits.h"
#include "model/identity.h"

namespace cb {

class DataObject;
class RecordList;

// The record id in GUID layout; all zero unless a peer or a file carried one.
struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};
    bool operator==(const Guid&) const = default;
};

// Local time packed as an MS-DOS date and time with the date in the high half.
uint32_t packLocalTime(std::time_t when);
std::time_t unpackLocalTime(uint32_t packed);

// One captured clipboard state: its text, source program and time stand outside the payload,
// which holds every other item as a compressed archive. Never changed after completion (except
// the application, which the capture sets right after completing it).
class Record {
public:
    static constexpr unsigned archiveVersion = 1;
    static constexpr bool archiveTracked = true;

    // An empty record, as loading or receiving creates it: time 0.
    Record();
    // A record for a capture at `now`.
    static boost::shared_ptr<Record> createForCapture(std::time_t now);

    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record();

    const Guid& id() const { return id_; }
    void setId(const Guid& id) { id_ = id; }
    const cmn::mblock<char>& payload() const { return payload_; }
    // For records made from data that already holds a payload (tests, tools).
    void setPayload(cmn::mblock<char> payload) { payload_ = std::move(payload); }
    const std::string& textUtf8() const { return text_; }
    std::u16string text() const;
    void setText(std::u16string_view text);
    void setTextUtf8(std::string text) { text_ = std::move(text); }
    const std::string& applicationUtf8() const { return application_; }
    std::u16string application() const;
    void setApplication(std::u16string_view application);
    void setApplicationUtf8(std::string application) { application_ = std::move(application); }
    uint32_t time() const { return time_; }
    int32_t textIndex() const { return textIndex_; }

    // The identity carried in the tag item of rebuilt data (unique within this process).
    Identity identity() const { return identity_.value(); }

    // Fills text, textIndex and payload from the items of a capture (in the order offered).
    // False when that cannot be done, or when the record would hold more than `limits` let the
    // readers of the files that keep it accept: such a record is not to be kept.
    bool completeFromItems(DataObject& items,
                           const cmn::archive::RecordLimits& limits = cmn::archive::RecordLimits::forFiles());
    // The record's items again, the text at its index and the tag last; null when impossible.
    std::unique_ptr<DataObject> rebuildItems(const RecordList* owner) const;
    bool encodePayload(const DataObject& items,
                       const cmn::archive::RecordLimits& limits = cmn::archive::RecordLimits::forFiles());
    bool decodePayload(DataObject& items) const;

    template <class Archive>
    void serialize(Archive& ar, unsigned version) {
        ar(payload_, text_, application_, time_, textIndex_);
        if (version >= 1) ar(id_.data1, id_.data2, id_.data3, id_.data4);
    }

private:
    Guid id_;
    cmn::mblock<char> payload_;
    std::string text_;
    std::string application_;
    uint32_t time_ = 0;
    int32_t textIndex_ = -1;
    LiveIdentity<Record> identity_{this};
};

using RecordPtr = boost::shared_ptr<Record>;

}  // namespace cb
