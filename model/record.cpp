#include "model/record.h"

#include "platform/text_codec.h"

namespace cb {

uint32_t packLocalTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    const uint32_t year = static_cast<uint32_t>(local.tm_year + 48) & 0x7F;  // years since 1980
    return (year << 25) | (static_cast<uint32_t>(local.tm_mon + 1) << 21) |
           (static_cast<uint32_t>(local.tm_mday) << 16) |
           (static_cast<uint32_t>(local.tm_hour) << 11) |
           (static_cast<uint32_t>(local.tm_min) << 5) | (static_cast<uint32_t>(local.tm_sec) / 2);
}

std::time_t unpackLocalTime(uint32_t packed) {
    std::tm local{};
    local.tm_year = static_cast<int>(packed >> 25) + 80;
    local.tm_mon = static_cast<int>((packed >> 21) & 0x0F) - 1;
    local.tm_mday = static_cast<int>((packed >> 16) & 0x1F);
    local.tm_hour = static_cast<int>((packed >> 11) & 0x1F);
    local.tm_min = static_cast<int>((packed >> 5) & 0x3F);
    local.tm_sec = static_cast<int>(packed & 0x1F) * 2;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

Record::Record() = default;
Record::~Record() = default;

boost::shared_ptr<Record> Record::createForCapture(std::time_t now) {
    boost::shared_ptr<Record> record(new Record());
    record->time_ = packLocalTime(now);
    return record;
}

std::u16string Record::text() const { return platform::utf8ToUtf16(text_); }
void Record::setText(std::u16string_view text) { text_ = platform::utf16ToUtf8(text); }
std::u16string Record::application() const { return platform::utf8ToUtf16(application_); }
void Record::setApplication(std::u16string_view application) {
    application_ = platform::utf16ToUtf8(application);
}

}  // namespace cb
