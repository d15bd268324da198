#pragma once

#include <cstdint>

#include "persist/config/app_version.h"

// The first object of every file: which program wrote it. Readers keep it and never check it.
struct ArchiveInfo {
    static constexpr unsigned archiveVersion = 0;
    static constexpr bool archiveTracked = false;

    int32_t appVersion = kAppVersionNumber;
    int32_t revision = 1;

    template <class Archive>
    void serialize(Archive& ar, unsigned) {
        ar(appVersion, revision);
    }
    bool operator==(const ArchiveInfo&) const = default;
};
