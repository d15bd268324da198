// The configuration: default options, archives of every class version written out by hand, the
// older pair-entry layout, and what loading and resetting keep.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "persist/archive/error.h"
#include "persist/config/app_config.h"
#include "platform/screen.h"

namespace {

using cmn::archive::ArchiveError;
using Kind = ArchiveError::Kind;

// A screen as a backend would report it, for the life of one test.
class ScreenOfWidth {
public:
    explicit ScreenOfWidth(int width) {
        platform::setScreenWidthQuery([width] { return width; });
    }
    ~ScreenOfWidth() { platform::setScreenWidthQuery({}); }
};

const std::string kHeader = "22 serialization::archive 3";

std::string saved(const AppConfig& config) {
    std::ostringstream out;
    config.saveArchive(out);
    return out.str();
}

std::string optionText(const AppConfig& config, int key) {
    const std::string* text = config.options().text(key);
    return text ? *text : "<absent>";
}

TEST(AppConfigDefaults, EveryDefaultOptionOfTheTable) {
    ScreenOfWidth screen(1280);
    AppConfig config;
    const std::pair<int, const char*> expected[] = {
        {0, "1"},     {1, "0"},     {2, "0"},     {3, "V"},   {4, "1"},
        {5, "0"},     {6, "0"},     {7, "1125 5 150 300"},    {9, "150 300"},
        {11, "0"},    {12, "0"},    {13, "0"},    {14, "0"},  {15, "1"},
        {17, "0"},    {18, "1"},    {20, "0"},    {21, "1"},  {22, "45689"},
        {25, "1"},    {26, "1"},    {34, "0"},    {35, "0 0 150 300"},
        {36, "1"},    {37, "1"},    {38, "1"},    {39, "1"},  {40, "B"},
        {1001, "1"},  {1002, "1"},  {1003, "1"},  {1004, "1"},  {1005, "0"},  {1006, "0"},
        {1007, "0"},  {1008, "1"},  {1009, "1"},  {1010, "1"},  {1011, "1"},  {1012, "1"},
    };
    for (const auto& [key, text] : expected) EXPECT_EQ(optionText(config, key), text) << key;
    EXPECT_EQ(config.options().entries().size(), std::size(expected));

    EXPECT_EQ(config.getRect(kOptFloatingRect, {}), (platform::Rect{1125, 5, 1275, 305}));
    EXPECT_EQ(config.getPort(kOptServerPort, 0), 45689);
    EXPECT_EQ(config.getChar(kOptPlainTextShortcutKey, '?'), 'B');
    // Keys the defaults leave unset read as false, 0 or empty.
    EXPECT_FALSE(config.getBool(kOptAutoSend));
    EXPECT_FALSE(config.getBool(pasteExclusionOptionKey(1001)));
    EXPECT_EQ(config.getInt(kOptFloatingExpandedHeight), 0);
    EXPECT_EQ(config.getString(kOptTextBetween), u"");

    EXPECT_TRUE(config.firstRun());
    EXPECT_EQ(config.appVersion(), 4000803);
    EXPECT_TRUE(config.trustedClientsCopy().clients.empty());
    EXPECT_TRUE(config.rememberedHosts().empty());
    EXPECT_TRUE(config.autoSendHosts().empty());
    EXPECT_TRUE(config.excludedPrograms().empty());
}

TEST(AppConfigDefaults, FloatingRectangleFollowsTheReportedScreenWidth) {
    {
        ScreenOfWidth screen(1280);
        EXPECT_EQ(optionText(AppConfig(), kOptFloatingRect), "1125 5 150 300");
    }
    {
        ScreenOfWidth screen(0);  // a backend that cannot tell
        EXPECT_EQ(optionText(AppConfig(), kOptFloatingRect), "1765 5 150 300");
    }
    // No backend at all: the fallback width of 1920.
    EXPECT_EQ(platform::primaryScreenWidth(), 1920);
    EXPECT_EQ(optionText(AppConfig(), kOptFloatingRect), "1765 5 150 300");
}

// Written out by hand, field by field.
const std::string kVersion2 = kHeader +
                              " 0 0 4000803 1"  // ArchiveInfo
                              " 0 2"            // AppConfig, class version 2
                              " 0 0 0 0 2"      // option, its map, two entries
                              " 0 0 0 1 1"      // key 0: value preamble, text "1"
                              " 40 1 B"         // key 40: text "B"
                              " 0  0  0  0"     // three empty reserved texts, reserved number
                              " 0 0 0 0 1 0 0 3 pc1 3 bob 4 Main"  // trusted clients
                              " 0 0 1 0 0 6 host-a 45689"          // remembered hosts (deque)
                              " 4000803 0"                         // appVersion, reserved bool
                              " 0 0 1 8 10.0.0.2 45690"            // automatic-send hosts
                              " 0 0 1 18 /usr/bin/keepassxc"       // excluded programs
                              "\n";

TEST(AppConfigArchive, WritesClassVersion2) {
    AppConfig config;
    config.options().clear();
    config.setBool(0, true);
    config.setChar(40, 'B');
    config.setTrustedClients(TrustedClientList{{TrustedClient("pc1", "bob", "Main")}});
    config.rememberedHosts().push_back(NetworkAddress("host-a", 45689));
    config.autoSendHosts().push_back(NetworkAddress("10.0.0.2", 45690));
    config.excludedPrograms().push_back("/usr/bin/keepassxc");
    EXPECT_EQ(saved(config), kVersion2);
}

TEST(AppConfigArchive, ReadsClassVersion2) {
    AppConfig config;
    const ArchiveInfo info = config.readArchive(kVersion2);
    EXPECT_EQ(info, (ArchiveInfo{4000803, 1}));
    EXPECT_FALSE(config.firstRun());
    EXPECT_EQ(config.trustedClientsCopy().clients,
              (std::vector<TrustedClient>{TrustedClient("pc1", "bob", "Main")}));
    EXPECT_EQ(config.rememberedHosts(),
              (std::deque<NetworkAddress>{NetworkAddress("host-a", 45689)}));
    EXPECT_EQ(config.autoSendHosts(),
              (std::vector<NetworkAddress>{NetworkAddress("10.0.0.2", 45690)}));
    EXPECT_EQ(config.excludedPrograms(), (std::vector<std::string>{"/usr/bin/keepassxc"}));
    // The file's options over the defaults.
    EXPECT_EQ(optionText(config, 0), "1");
    EXPECT_EQ(optionText(config, 40), "B");
    EXPECT_EQ(optionText(config, kOptServerPort), "45689");
}

TEST(AppConfigArchive, ReadsClassVersion1WithHostsFromAVector) {
    const std::string text = kHeader +
                             " 0 0 4000000 1"  // ArchiveInfo of an older program
                             " 0 1"            // AppConfig, class version 1
                             " 0 0 0 0 1"      // options: one entry
                             " 3 0 0 1 X"      // key 3: "X"
                             " 0  0  0  7"     // reserved texts, reserved number 7
                             " 0 0 0 0 0"      // no trusted clients
                             " 0 0 2 0 0 5 alpha 45689 4 beta 1"  // remembered hosts (vector)
                             " 4000000 1"                         // appVersion, reserved bool
                             " 1 5 gamma 2"  // automatic-send hosts: vector already introduced
                             "\n";
    AppConfig config;
    config.excludedPrograms().push_back("/stale");
    EXPECT_EQ(config.readArchive(text), (ArchiveInfo{4000000, 1}));
    EXPECT_EQ(config.rememberedHosts(),
              (std::deque<NetworkAddress>{{"alpha", 45689}, {"beta", 1}}));
    EXPECT_EQ(config.autoSendHosts(), (std::vector<NetworkAddress>{{"gamma", 2}}));
    EXPECT_TRUE(config.excludedPrograms().empty());
    EXPECT_TRUE(config.trustedClientsCopy().clients.empty());
    EXPECT_EQ(config.appVersion(), 4000000);
    EXPECT_EQ(config.getChar(kOptPopupShortcutKey, '?'), 'X');
    EXPECT_EQ(config.getChar(kOptPlainTextShortcutKey, '?'), 'B');  // not in the file: default

    // Written back as class version 2, with the reserved values as read.
    const std::string expected = kHeader +
                                 " 0 0 4000803 1 0 2"
                                 " 0 0 0 0";
    const std::string again = saved(config);
    EXPECT_EQ(again.substr(0, expected.size()), expected);
    EXPECT_NE(again.find(" 0  0  0  7 0 0 0 0 0 0 0 2 0 0 5 alpha 45689 4 beta 1"
                         " 4000803 1 0 0 1 5 gamma 2 0 0 0\n"),
              std::string::npos);
}

TEST(AppConfigArchive, ReadsClassVersion0WithoutAutomaticSendHosts) {
    const std::string text = kHeader +
                             " 0 0 3900000 1"  // ArchiveInfo
                             " 0 0"            // AppConfig, class version 0
                             " 0 0 0 0 0"      // no options
                             " 1 a 2 bc 0  4294967295"            // reserved texts and number
                             " 0 0 0 0 1 0 0 3 pc1 3 bob 4 Main"  // trusted clients
                             " 0 0 1 0 0 5 alpha 45689"           // remembered hosts (vector)
                             " 3900000 0"                         // appVersion, reserved bool
                             "\n";
    AppConfig config;
    config.autoSendHosts().push_back(NetworkAddress("stale", 1));
    config.readArchive(text);
    EXPECT_EQ(config.rememberedHosts(), (std::deque<NetworkAddress>{{"alpha", 45689}}));
    EXPECT_TRUE(config.autoSendHosts().empty());
    EXPECT_TRUE(config.excludedPrograms().empty());
    EXPECT_EQ(config.trustedClientsCopy().clients.size(), 1u);
    EXPECT_EQ(config.appVersion(), 3900000);
    // No option in the file: all defaults.
    EXPECT_EQ(config.options().entries(), AppConfig().options().entries());
    EXPECT_NE(saved(config).find(" 1 a 2 bc 0  4294967295 "), std::string::npos);
}

TEST(AppConfigArchive, ReadsOptionEntriesStoredAsPairObjects) {
    // Each entry a pair object: its preamble "0 0" before the first key, then key and value.
    struct Case {
        const char* entries;
        std::pair<int, const char*> first;
    };
    const Case cases[] = {
        {" 0 0 0 0 2 0 0 0 0 0 1 1 40 1 Q", {0, "1"}},  // first key 0
        {" 0 0 0 0 2 0 0 3 0 0 1 X 40 1 Q", {3, "X"}},  // first key above 0
    };
    for (const auto& c : cases) {
        const std::string text = kHeader + " 0 0 4000803 1 0 2" + c.entries +
                                 " 0  0  0  0 0 0 0 0 0 0 0 0 4000803 0 0 0 0 0 0 0\n";
        AppConfig config;
        config.readArchive(text);
        EXPECT_EQ(optionText(config, c.first.first), c.first.second) << c.entries;
        EXPECT_EQ(optionText(config, 40), "Q") << c.entries;
        EXPECT_FALSE(config.firstRun());
        // Our own layout alone does not read it.
        std::istringstream in(text);
        EXPECT_THROW(AppConfig().loadArchive(in), ArchiveError) << c.entries;
    }
}

TEST(AppConfigArchive, BrokenArchivesAreErrorsAndChangeNothing) {
    const std::string tail = " 0  0  0  0 0 0 0 0 0 0 0 0 4000803 0 0 0 0 0 0 0\n";
    struct Case {
        const char* what;
        std::string text;
        Kind kind;
    };
    const Case cases[] = {
        {"class version 3", kHeader + " 0 0 4000803 1 0 3 0 0 0 0 0" + tail,
         Kind::UnsupportedVersion},
        {"keys out of order", kHeader + " 0 0 4000803 1 0 2 0 0 0 0 2 40 0 0 1 B 3 1 V" + tail,
         Kind::Inconsistent},
        {"key twice", kHeader + " 0 0 4000803 1 0 2 0 0 0 0 2 40 0 0 1 B 40 1 V" + tail,
         Kind::Inconsistent},
        {"ends early", kHeader + " 0 0 4000803 1 0 2 0 0 0 0 1 40 0 0 1 B 0  0 ", Kind::StreamError},
    };
    for (const auto& c : cases) {
        AppConfig config;
        config.setChar(kOptPlainTextShortcutKey, 'Z');
        try {
            config.readArchive(c.text);
            ADD_FAILURE() << "no error: " << c.what;
        } catch (const ArchiveError& e) {
            EXPECT_EQ(e.kind(), c.kind) << c.what;
        }
        EXPECT_EQ(config.getChar(kOptPlainTextShortcutKey, '?'), 'Z') << c.what;
        EXPECT_TRUE(config.firstRun()) << c.what;
    }
}

TEST(AppConfigArchive, LoadingOverlaysTheDefaultsNotTheCurrentOptions) {
    // The file holds key 3 and a key the defaults do not know; it lacks key 40.
    const std::string text = kHeader + " 0 0 4000803 1 0 2 0 0 0 0 2 3 0 0 1 X 500 2 hi" +
                             " 0  0  0  0 0 0 0 0 0 0 0 0 4000803 0 0 0 0 0 0 0\n";
    AppConfig config;
    config.setChar(kOptPlainTextShortcutKey, 'Z');
    config.setBool(kOptAutoSend, true);
    config.readArchive(text);
    EXPECT_EQ(config.getChar(kOptPlainTextShortcutKey, '?'), 'B');
    EXPECT_FALSE(config.getBool(kOptAutoSend));
    EXPECT_EQ(config.getChar(kOptPopupShortcutKey, '?'), 'X');
    EXPECT_EQ(config.getString(500), u"hi");
    EXPECT_EQ(optionText(config, kOptServerPort), "45689");
}

TEST(AppConfig, ResetToDefaults) {
    ScreenOfWidth screen(1280);
    const std::string text = kHeader + " 0 0 4000803 1 0 2 0 0 0 0 2 3 0 0 1 X 500 2 hi" +
                             " 1 a 2 bb 3 ccc 0"             // reserved texts and number
                             " 0 0 0 0 1 0 0 3 pc1 3 bob 4 Main"
                             " 0 0 1 0 0 1 h 1 4000000 1"    // one host; reserved bool set
                             " 0 0 1 1 g 2"                  // one automatic-send host
                             " 0 0 1 6 /bin/x\n";
    AppConfig config;
    config.readArchive(text);
    ASSERT_FALSE(config.firstRun());
    config.resetToDefaults();

    EXPECT_TRUE(config.firstRun());
    EXPECT_EQ(config.appVersion(), 4000803);
    EXPECT_TRUE(config.trustedClientsCopy().clients.empty());
    EXPECT_TRUE(config.rememberedHosts().empty());
    EXPECT_TRUE(config.autoSendHosts().empty());
    EXPECT_FALSE(config.options().contains(500));
    EXPECT_EQ(config.getChar(kOptPopupShortcutKey, '?'), 'V');
    EXPECT_EQ(config.excludedPrograms(), (std::vector<std::string>{"/bin/x"}));

    // Everything else, the reserved values included, is as in a new configuration.
    AppConfig fresh;
    fresh.excludedPrograms().push_back("/bin/x");
    EXPECT_EQ(saved(config), saved(fresh));
}

TEST(AppConfig, TrustedClientsAreCopiedAndReplacedAsAWhole) {
    AppConfig config;
    TrustedClientList list{{TrustedClient("a", "u", "L1"), TrustedClient("b", "v", "L2")}};
    config.setTrustedClients(list);
    TrustedClientList copy = config.trustedClientsCopy();
    EXPECT_EQ(copy, list);
    copy.clients.clear();
    EXPECT_EQ(config.trustedClientsCopy(), list);
}

TEST(NetworkAddress, DisplayText) {
    EXPECT_EQ(NetworkAddress("office-pc", 45689).displayText(), "office-pc : 45689");
    EXPECT_EQ(NetworkAddress("", -1).displayText(), " : -1");
}

}  // namespace
