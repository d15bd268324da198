#pragma once

#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <deque>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "persist/archive/collections.h"
#include "persist/archive/reader.h"
#include "persist/config/app_version.h"
#include "persist/config/archive_info.h"
#include "persist/config/network_address.h"
#include "persist/config/option.h"
#include "persist/config/option_keys.h"
#include "persist/config/trusted_client.h"

// Every setting of the program. Options and lists are read and written on the user-interface
// thread without a lock; only the trusted clients are shared with the receiver's thread and are
// therefore handed out and replaced as a whole under the mutex.
class AppConfig {
public:
    static constexpr unsigned archiveVersion = 2;
    static constexpr bool archiveTracked = false;

    // A configuration with the default options, as if no file had been read (firstRun is true).
    AppConfig();
    AppConfig(const AppConfig&) = delete;
    AppConfig& operator=(const AppConfig&) = delete;

    // Back to a configuration without a file, then the default options. The excluded programs
    // and the reserved number are not part of what a reset restores and stay as they are.
    void resetToDefaults();

    cmn::option<int>& options() { return options_; }
    const cmn::option<int>& options() const { return options_; }

    bool getBool(int key, bool fallback = false) const { return options_.getBool(key, fallback); }
    void setBool(int key, bool v) { options_.setBool(key, v); }
    char getChar(int key, char fallback) const { return options_.getChar(key, fallback); }
    void setChar(int key, char v) { options_.setChar(key, v); }
    int getInt(int key, int fallback = 0) const { return options_.getInt(key, fallback); }
    void setInt(int key, int v) { options_.setInt(key, v); }
    uint16_t getPort(int key, uint16_t fallback) const { return options_.getPort(key, fallback); }
    void setPort(int key, uint16_t v) { options_.setPort(key, v); }
    platform::Rect getRect(int key, platform::Rect fallback) const {
        return options_.getRect(key, fallback);
    }
    void setRect(int key, const platform::Rect& r) { options_.setRect(key, r); }
    platform::Size getSize(int key, platform::Size fallback) const {
        return options_.getSize(key, fallback);
    }
    void setSize(int key, const platform::Size& s) { options_.setSize(key, s); }
    std::u16string getString(int key, std::u16string_view fallback = {}) const {
        return options_.getString(key, fallback);
    }
    void setString(int key, std::u16string_view v) { options_.setString(key, v); }

    // A copy taken under the mutex: the receiver's thread matches queries against it.
    TrustedClientList trustedClientsCopy() const;
    void setTrustedClients(TrustedClientList clients);

    std::deque<NetworkAddress>& rememberedHosts() { return rememberedHosts_; }
    const std::deque<NetworkAddress>& rememberedHosts() const { return rememberedHosts_; }
    std::vector<NetworkAddress>& autoSendHosts() { return autoSendHosts_; }
    const std::vector<NetworkAddress>& autoSendHosts() const { return autoSendHosts_; }
    // Full paths (UTF-8) of programs whose clipboard data is not captured.
    std::vector<std::string>& excludedPrograms() { return excludedPrograms_; }
    const std::vector<std::string>& excludedPrograms() const { return excludedPrograms_; }

    // True until a configuration archive has been loaded.
    bool firstRun() const { return firstRun_; }
    void setFirstRun(bool v) { firstRun_ = v; }

    // The version of the program that wrote the loaded file; kAppVersionNumber otherwise.
    int32_t appVersion() const { return appVersion_; }

    // A complete configuration archive: header, ArchiveInfo {kAppVersionNumber, 1}, this object.
    void saveArchive(std::ostream& out) const;

    // Reads a configuration archive (header, ArchiveInfo, AppConfig of class version 0 to 2) in
    // the given layout. The options of the archive are laid over the default options; everything
    // else is replaced by the archive's. Nothing changes when reading fails (ArchiveError), and
    // firstRun becomes false when it succeeds.
    ArchiveInfo loadArchive(std::istream& in, cmn::archive::ReaderLayout layout = {},
                            const cmn::archive::Limits& limits = cmn::archive::Limits::forConfig());

    // A configuration archive held in memory, in whichever layout it was written: our own, or
    // the older one whose option entries are stored as pair objects. On failure the error of
    // reading our own layout is thrown.
    ArchiveInfo readArchive(std::string_view bytes,
                            const cmn::archive::Limits& limits = cmn::archive::Limits::forConfig());

    template <class Archive>
    void serialize(Archive& ar, unsigned version);

private:
    void moveStoredFieldsFrom(AppConfig& other);

    cmn::option<int> options_;
    std::string reservedText1_;
    std::string reservedText2_;
    std::string reservedText3_;
    uint32_t reservedNumber_ = 0;
    mutable boost::mutex trustedClientsMutex_;
    TrustedClientList trustedClients_;
    std::deque<NetworkAddress> rememberedHosts_;
    int32_t appVersion_ = kAppVersionNumber;
    bool reservedFlag_ = false;
    std::vector<NetworkAddress> autoSendHosts_;
    std::vector<std::string> excludedPrograms_;
    bool firstRun_ = true;
};

template <class Archive>
void AppConfig::serialize(Archive& ar, [[maybe_unused]] unsigned version) {
    if constexpr (Archive::isLoading) {
        cmn::option<int> stored;
        ar(stored);
        for (auto& [key, value] : stored.entries()) options_.entries()[key] = std::move(value);
        ar(reservedText1_, reservedText2_, reservedText3_, reservedNumber_);
        TrustedClientList clients;
        ar(clients);
        setTrustedClients(std::move(clients));
        if (version >= 2) {
            ar(rememberedHosts_);
        } else {
            std::vector<NetworkAddress> hosts;
            ar(hosts);
            rememberedHosts_.assign(hosts.begin(), hosts.end());
        }
        ar(appVersion_, reservedFlag_);
        autoSendHosts_.clear();
        excludedPrograms_.clear();
        if (version >= 1) ar(autoSendHosts_);
        if (version >= 2) ar(excludedPrograms_);
    } else {
        // Always the current layout: what we write is class version 2.
        TrustedClientList clients = trustedClientsCopy();
        int32_t writtenVersion = kAppVersionNumber;
        ar(options_, reservedText1_, reservedText2_, reservedText3_, reservedNumber_, clients,
           rememberedHosts_, writtenVersion, reservedFlag_, autoSendHosts_, excludedPrograms_);
    }
}
