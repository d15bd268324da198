#include "persist/config/app_config.h"

#include <boost/thread/locks.hpp>
#include <istream>
#include <streambuf>
#include <utility>

#include "persist/archive/archive.h"
#include "platform/screen.h"

namespace {

// Reads bytes the caller holds, without copying them into a stream of its own.
class ViewBuffer : public std::streambuf {
public:
    explicit ViewBuffer(std::string_view bytes) {
        char* begin = const_cast<char*>(bytes.data());  // the get area is never written
        setg(begin, begin, begin + bytes.size());
    }
};

ArchiveInfo loadFromBytes(AppConfig& config, std::string_view bytes,
                          cmn::archive::ReaderLayout layout, const cmn::archive::Limits& limits) {
    ViewBuffer buffer(bytes);
    std::istream in(&buffer);
    return config.loadArchive(in, layout, limits);
}

void applyDefaultOptions(cmn::option<int>& o, int screenWidth) {
    o.setBool(kOptPopupShortcutEnabled, true);
    o.setBool(kOptPopupShortcutCtrl, false);
    o.setBool(kOptPopupShortcutAlt, false);
    o.setChar(kOptPopupShortcutKey, 'V');
    o.setBool(kOptFloatingKeysEnabled, true);
    o.setBool(kOptFloatingKeysCtrl, false);
    o.setBool(kOptFloatingKeysAlt, false);
    // Top right corner of the screen, 5 pixels from its edges.
    o.setRect(kOptFloatingRect, platform::Rect{screenWidth - 155, 5, screenWidth - 5, 305});
    o.setSize(kOptMenuWindowSize, platform::Size{150, 300});
    o.setInt(kOptFloatingTab, 0);
    o.setInt(kOptPopupTab, 0);
    o.setInt(kOptMenuTab, 0);
    o.setInt(kOptMainTab, 0);
    o.setBool(kOptFloatingVisible, true);
    o.setBool(kOptReceiveEnabled, false);
    o.setBool(kOptRecording, true);
    o.setBool(kOptCheckForNewVersion, false);
    o.setBool(kOptStartWithComputer, true);
    o.setPort(kOptServerPort, 45689);
    o.setBool(kOptPopupShortcutWin, true);
    o.setBool(kOptFloatingKeysWin, true);
    o.setBool(kOptAllowDuplicates, false);
    o.setRect(kOptPopupRect, platform::Rect{0, 0, 150, 300});
    o.setBool(kOptSaveRecords, true);
    o.setBool(kOptPopupAutoPosition, true);
    o.setBool(kOptPopupSelectFirst, true);
    o.setBool(kOptReplaceIdenticalClipboard, true);
    o.setChar(kOptPlainTextShortcutKey, 'B');
    // Record options of the item types: everything except the three formats that are big or
    // rarely wanted back (typeIds 1005 to 1007).
    for (int typeId = 1001; typeId <= 1012; ++typeId)
        o.setBool(recordOptionKey(typeId), typeId < 1005 || typeId > 1007);
}

}  // namespace

AppConfig::AppConfig() { resetToDefaults(); }

void AppConfig::resetToDefaults() {
    reservedText1_.clear();
    reservedText2_.clear();
    reservedText3_.clear();
    options_.clear();
    setTrustedClients(TrustedClientList{});
    rememberedHosts_.clear();
    autoSendHosts_.clear();
    firstRun_ = true;
    reservedFlag_ = false;
    appVersion_ = kAppVersionNumber;
    applyDefaultOptions(options_, platform::primaryScreenWidth());
}

TrustedClientList AppConfig::trustedClientsCopy() const {
    boost::mutex::scoped_lock lock(trustedClientsMutex_);
    return trustedClients_;
}

void AppConfig::setTrustedClients(TrustedClientList clients) {
    boost::mutex::scoped_lock lock(trustedClientsMutex_);
    trustedClients_ = std::move(clients);
}

void AppConfig::saveArchive(std::ostream& out) const {
    cmn::archive::Writer writer(out);
    const ArchiveInfo info{kAppVersionNumber, 1};
    writer.object(info);
    writer.object(*this);
    writer.finish();
}

ArchiveInfo AppConfig::loadArchive(std::istream& in, cmn::archive::ReaderLayout layout,
                                   const cmn::archive::Limits& limits) {
    // Read into a fresh configuration so that a file that breaks half way changes nothing here;
    // its defaults are what the file's options are laid over.
    AppConfig loaded;
    ArchiveInfo info;
    {
        cmn::archive::Reader reader(in, limits, layout);
        reader.object(info);
        reader.object(loaded);
    }
    moveStoredFieldsFrom(loaded);
    firstRun_ = false;
    return info;
}

ArchiveInfo AppConfig::readArchive(std::string_view bytes, const cmn::archive::Limits& limits) {
    try {
        return loadFromBytes(*this, bytes, {}, limits);
    } catch (const cmn::archive::ArchiveError& ownLayout) {
        // Older writers stored each option entry as a pair object. Their files break our layout
        // early and for sure (a pair preamble read as a key gives keys out of order or a value
        // class version we do not know), so a second reading from the start is unambiguous.
        try {
            return loadFromBytes(*this, bytes,
                                 cmn::archive::ReaderLayout{.mapEntriesArePairObjects = true},
                                 limits);
        } catch (const cmn::archive::ArchiveError&) {
            throw ownLayout;
        }
    }
}

void AppConfig::moveStoredFieldsFrom(AppConfig& other) {
    options_ = std::move(other.options_);
    reservedText1_ = std::move(other.reservedText1_);
    reservedText2_ = std::move(other.reservedText2_);
    reservedText3_ = std::move(other.reservedText3_);
    reservedNumber_ = other.reservedNumber_;
    setTrustedClients(other.trustedClientsCopy());
    rememberedHosts_ = std::move(other.rememberedHosts_);
    appVersion_ = other.appVersion_;
    reservedFlag_ = other.reservedFlag_;
    autoSendHosts_ = std::move(other.autoSendHosts_);
    excludedPrograms_ = std::move(other.excludedPrograms_);
}
