// Writes the seed corpus of the fuzz targets from our own files and messages: what the program
// saves and sends for histories, lists, configurations, every item class and every step of an
// exchange, and the older layouts it still reads. Run it from the source tree:
//   quillet_make_corpus fuzz/corpus

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/check_support.h"
#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/data_object.h"
#include "model/embedded_object_item.h"
#include "model/enh_metafile_item.h"
#include "model/history.h"
#include "model/record.h"
#include "model/record_list.h"
#include "model/search_list.h"
#include "model/text_item.h"
#include "net/codec.h"
#include "net/messages.h"
#include "persist/archive/archive.h"
#include "persist/config/app_config.h"
#include "persist/config/archive_info.h"
#include "persist/files/config_file.h"
#include "persist/files/file_magic.h"
#include "persist/files/history_file.h"
#include "platform/global_memory.h"
#include "platform/structured_storage.h"

namespace fs = std::filesystem;
using quillet::fuzz::compressed;
using quillet::fuzz::magicBytes;

namespace {

// The first byte of an archive seed: the layout (the order of fuzz/archive_check.cpp).
enum ArchiveLayout : char {
    kHistoryFile,
    kListFile,
    kConfiguration,
    kRecordPayload,
    kQuery,
    kReply,
    kPeerRecord,
    kPeerList,
    kPeerHistory
};

// The first byte of a data file seed: file + 3 * wrap (fuzz/data_file_check.cpp).
enum DataFile : char { kHistory, kList, kConfig };
enum Wrap : char { kAsIs, kPlain, kCompressed };

const std::string kHeader = "22 serialization::archive 3";

class Corpus {
public:
    explicit Corpus(fs::path root) : root_(std::move(root)) {}

    void add(const std::string& target, const std::string& name, const std::string& bytes) {
        const fs::path dir = root_ / target;
        fs::create_directories(dir);
        std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + (dir / name).string());
        ++written_;
    }
    int written() const { return written_; }

private:
    fs::path root_;
    int written_ = 0;
};

template <class T>
std::string archiveOf(const T& object) {
    std::ostringstream out;
    cmn::archive::save(object, out);
    return out.str();
}

template <class T>
std::string fileArchiveOf(const T& object) {
    std::ostringstream out;
    cmn::archive::Writer writer(out);
    writer.object(ArchiveInfo{});
    writer.object(object);
    writer.finish();
    return out.str();
}

cmn::mblock<char> blockOf(std::string_view bytes) { return cmn::mblock<char>(bytes); }

// A DROPFILES block with two wide names.
std::string dropFiles() {
    std::string block(20, '\0');
    block[0] = 20;   // names start after the header
    block[16] = 1;   // wide names
    for (const char* name : {"/home/user/a.txt", "/home/user/b c.png"}) {
        for (const char* p = name; *p; ++p) block += std::string{*p, '\0'};
        block += std::string(2, '\0');
    }
    block += std::string(2, '\0');
    return block;
}

// A docfile with one stream, as an embedded object is stored.
std::string docfile() {
    using namespace platform;
    Ref<LockBytes> lockBytes;
    Ref<Storage> storage;
    if (failed(createLockBytesOnGlobal(GlobalHandle{}, true, lockBytes.out())) ||
        failed(stgCreateDocfileOnLockBytes(lockBytes.get(),
                                           STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                           storage.out())))
        throw std::runtime_error("no docfile");
    const std::string contents = "embedded object contents";
    storage->writeStream("Contents", std::span(reinterpret_cast<const unsigned char*>(
                                                   contents.data()),
                                               contents.size()));
    StatStg stat;
    GlobalHandle h{};
    if (failed(storage->commit(0)) || failed(lockBytes->stat(&stat, STATFLAG_NONAME)) ||
        failed(getGlobalFromLockBytes(lockBytes.get(), &h)))
        throw std::runtime_error("no docfile");
    GlobalLockGuard lock(h);
    return std::string(static_cast<const char*>(lock.get()), static_cast<size_t>(stat.cbSize));
}

// A 2 x 2 picture of 24 bits as a packed DIB, which the item keeps as PNG.
std::unique_ptr<cb::BitmapItem> bitmap() {
    std::string dib(40, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put32(0, 40);
    put32(4, 2);
    put32(8, 2);
    dib[12] = 1;   // planes
    dib[14] = 24;  // bits per pixel
    dib += std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00", 8);  // two rows of 6 bytes, padded
    dib += std::string("\x00\x00\xFF\xFF\xFF\xFF\x00\x00", 8);
    auto item = std::make_unique<cb::BitmapItem>();
    if (!item->setFromPackedDib(dib.data(), dib.size())) throw std::runtime_error("no bitmap");
    return item;
}

// One item of every class, in capture order.
std::unique_ptr<cb::DataObject> everyItem() {
    auto items = std::make_unique<cb::DataObject>();
    items->add(std::make_unique<cb::TextItem>(u"Hello, w\u00f6rld"));
    items->add(std::make_unique<cb::RtfItem>(blockOf("{\\rtf1 hello}")));
    items->add(std::make_unique<cb::HtmlItem>(
        blockOf("Version:0.9\r\nStartHTML:0\r\n<html><body>hi</body></html>")));
    items->add(std::make_unique<cb::CsvItem>(blockOf("a,b\r\n1,2\r\n")));
    items->add(std::make_unique<cb::FilesItem>(blockOf(dropFiles())));
    items->add(std::make_unique<cb::LocaleItem>(blockOf(std::string("\x09\x04\x00\x00", 4))));
    items->add(std::make_unique<cb::ShellIdList>(blockOf(std::string("\x01\x00\x00\x00", 4))));
    items->add(std::make_unique<cb::ShellIdListOffset>(blockOf(std::string(8, '\0'))));
    items->add(
        std::make_unique<cb::PreferredDropEffect>(blockOf(std::string("\x01\x00\x00\x00", 4))));
    items->add(std::make_unique<cb::QuilletTagItem>(7, 9, 1234));
    items->add(std::make_unique<cb::EnhMetaFileItem>(
        blockOf(std::string("\x01\x00\x00\x00 EMF metafile bytes", 23))));
    items->add(std::make_unique<cb::EmbeddedObjectItem>(blockOf(docfile())));
    items->add(bitmap());
    return items;
}

cb::RecordPtr textRecord(const std::u16string& text, const char* application) {
    auto record = cb::Record::createForCapture(1700000000);
    cb::DataObject items;
    items.add(std::make_unique<cb::TextItem>(text));
    items.add(std::make_unique<cb::HtmlItem>(blockOf("<b>" + std::string(text.begin(), text.end()) + "</b>")));
    record->completeFromItems(items);
    record->setApplicationUtf8(application);
    return record;
}

cb::RecordPtr richRecord() {
    auto record = cb::Record::createForCapture(1700000500);
    auto items = everyItem();
    record->completeFromItems(*items);
    record->setApplicationUtf8("/usr/bin/libreoffice");
    record->setId(cb::Guid{0x12345678, 0x9abc, 0xdef0, {1, 2, 3, 4, 5, 6, 7, 8}});
    return record;
}

std::unique_ptr<cb::RecordList> listOf(const std::u16string& name,
                                       const std::vector<cb::RecordPtr>& records) {
    auto list = std::make_unique<cb::RecordList>(name);
    for (auto it = records.rbegin(); it != records.rend(); ++it) list->add(*it);
    return list;
}

// Main (listening) and Search, records in Main, one of them also in a second list, a search
// list with criteria, and a maximum of lists of its own.
std::unique_ptr<cb::History> fullHistory() {
    auto history = std::make_unique<cb::History>();
    const auto shared = textRecord(u"shared between lists", "/usr/bin/gedit");
    auto main = listOf(u"Main", {textRecord(u"meeting at 10", "/usr/bin/gedit"), shared,
                                 richRecord()});
    main->setMoveToFront(true);
    auto work = listOf(u"Work", {shared});
    work->setDiscardOld(false);
    work->setMaxCount(500);
    auto search = std::make_unique<SearchList>(u"Search");
    search->criteria().setText(u"meeting");
    search->criteria().setMatchCase(true);
    cb::RecordList* mainList = main.get();
    history->insertList(main.release(), 0);
    history->insertList(work.release(), 1);
    history->insertList(search.release(), 2);
    history->setListeningList(mainList);
    history->setMaxLists(20);
    return history;
}

AppConfig& fullConfig() {
    static AppConfig* const config = [] {
        auto* c = new AppConfig();
        c->setString(kOptServerPort, u"45690");
        TrustedClientList clients;
        clients.clients.emplace_back("fuzz-host", "", "Main");
        clients.clients.emplace_back("10.1.2.3", "bob", "Inbox");
        c->setTrustedClients(clients);
        c->rememberedHosts().emplace_back("alpha", 45689);
        c->autoSendHosts().emplace_back("beta", 45689);
        c->excludedPrograms().push_back("/usr/bin/keepassxc");
        return c;
    }();
    return *config;
}

std::string configText(AppConfig& config) {
    std::ostringstream out;
    config.saveArchive(out);
    return out.str();
}

// Texts of older writers, as the configuration tests spell them out.
const std::string kConfigVersion1 =
    kHeader +
    " 0 0 4000000 1 0 1 0 0 0 0 1 3 0 0 1 X 0  0  0  7 0 0 0 0 0"
    " 0 0 2 0 0 5 alpha 45689 4 beta 1 4000000 1 1 5 gamma 2\n";
const std::string kConfigVersion0 =
    kHeader +
    " 0 0 3900000 1 0 0 0 0 0 0 0 1 a 2 bc 0  4294967295 0 0 0 0 1 0 0 3 pc1 3 bob 4 Main"
    " 0 0 1 0 0 5 alpha 45689 3900000 0\n";
const std::string kConfigPairEntries =
    kHeader +
    " 0 0 4000803 1 0 2 0 0 0 0 2 0 0 3 0 0 1 X 40 1 Q 0  0  0  0 0 0 0 0 0 0 0 0"
    " 4000803 0 0 0 0 0 0 0\n";

std::string historyFile(const cb::History& history) {
    std::ostringstream out;
    persist::writeHistory(history, out);
    return out.str();
}

std::string listFile(const cb::RecordList& list) {
    std::ostringstream out;
    persist::writeList(list, out);
    return out.str();
}

std::string configFile(AppConfig& config) {
    std::ostringstream out;
    persist::writeConfig(config, out);
    return out.str();
}

template <class T>
std::string encoded(const T& object) {
    const std::vector<char> bytes = net::encodeObject(object);
    return std::string(bytes.begin(), bytes.end());
}

std::string int32(int32_t v) { return magicBytes(static_cast<uint32_t>(v)); }

std::string framed(const std::string& block) {
    return int32(static_cast<int32_t>(block.size())) + block;
}

net::QueryInfo query(int32_t kind, std::string user, std::string host) {
    net::QueryInfo q;
    q.userName = std::move(user);
    q.hostName = std::move(host);
    q.objectKind = kind;
    q.appVersion = kAppVersionNumber;
    q.flags = 0;
    return q;
}

std::string handshake() { return int32(net::kHandshakeWord); }

void archiveSeeds(Corpus& corpus) {
    const auto history = fullHistory();
    cb::History defaults;
    defaults.resetToDefault();
    auto seed = [&](char layout, const std::string& name, const std::string& text) {
        corpus.add("archive", name, std::string(1, layout) + text);
    };
    seed(kHistoryFile, "history-default", fileArchiveOf(defaults));
    seed(kHistoryFile, "history-full", fileArchiveOf(*history));
    // Pending lists that replace the lists, and no listening list.
    seed(kHistoryFile, "history-pending-lists",
         kHeader + " 0 0 4000803 1 0 0 4294967295 0 0 1 3 1 0 0 0 0 0 4 Main 100 1 1"
                   " -1 10 2 3 0 3 1 0 5 Other 100 1 0\n");
    seed(kListFile, "list-main", fileArchiveOf(*history->at(0)));
    seed(kListFile, "list-of-search-results",
         fileArchiveOf(static_cast<const cb::RecordList&>(*history->at(2))));
    seed(kListFile, "list-empty", fileArchiveOf(cb::RecordList(u"Empty")));
    AppConfig plainDefaults;
    seed(kConfiguration, "config-default", configText(plainDefaults));
    seed(kConfiguration, "config-full", configText(fullConfig()));
    seed(kConfiguration, "config-version1", kConfigVersion1);
    seed(kConfiguration, "config-version0", kConfigVersion0);
    seed(kConfiguration, "config-pair-entries", kConfigPairEntries);
    seed(kRecordPayload, "payload-every-item", archiveOf(*everyItem()));
    cb::DataObject textOnly;
    textOnly.add(std::make_unique<cb::TextItem>(u"plain"));
    seed(kRecordPayload, "payload-text", archiveOf(textOnly));
    seed(kQuery, "query", archiveOf(query(0, "alice", "fuzz-host")));
    seed(kQuery, "query-version0",
         kHeader + " 0 0 5 alice 1 4000803 0 1\n");
    net::ReplyInfo reply;
    reply.result = net::kResultUntrustedClient;
    reply.appVersion = kAppVersionNumber;
    reply.flags = net::kReplyFlagUntrustedClient;
    seed(kReply, "reply-untrusted", archiveOf(reply));
    seed(kPeerRecord, "peer-record", archiveOf(*richRecord()));
    seed(kPeerRecord, "peer-record-version0",
         kHeader + " 1 0 0 0 0 0 5 hello 0  0 0\n");
    seed(kPeerList, "peer-list", archiveOf(*history->at(0)));
    seed(kPeerHistory, "peer-history", archiveOf(*history));
}

void dataFileSeeds(Corpus& corpus) {
    const auto history = fullHistory();
    cb::History defaults;
    defaults.resetToDefault();
    auto seed = [&](DataFile file, Wrap wrap, const std::string& name, const std::string& rest) {
        corpus.add("data_file", name, std::string(1, static_cast<char>(file + 3 * wrap)) + rest);
    };
    const std::string historyBytes = historyFile(*history);
    seed(kHistory, kAsIs, "history-file", historyBytes);
    seed(kHistory, kAsIs, "history-file-compressed",
         magicBytes(persist::kHistoryMagicCompressed) + compressed(historyBytes.substr(4)));
    seed(kHistory, kPlain, "history-text", fileArchiveOf(defaults));
    seed(kHistory, kCompressed, "history-text-compressed", fileArchiveOf(*history));
    const std::string listBytes = listFile(*history->at(0));
    seed(kList, kAsIs, "list-file", listBytes);
    seed(kList, kAsIs, "list-file-compressed",
         magicBytes(persist::kListMagicCompressed) + compressed(listBytes.substr(4)));
    seed(kList, kPlain, "list-text", fileArchiveOf(*history->at(1)));
    seed(kList, kCompressed, "list-text-compressed", fileArchiveOf(*history->at(0)));
    seed(kConfig, kAsIs, "config-file", configFile(fullConfig()));
    AppConfig plainDefaults;
    seed(kConfig, kAsIs, "config-file-default", configFile(plainDefaults));
    seed(kConfig, kCompressed, "config-text-version1", kConfigVersion1);
    seed(kConfig, kCompressed, "config-text-pair-entries", kConfigPairEntries);
}

void receiverSeeds(Corpus& corpus) {
    const auto history = fullHistory();
    const std::string record = encoded(*richRecord());
    const std::string list = encoded(*history->at(0));
    const std::string whole = encoded(*history);
    auto exchange = [&](const net::QueryInfo& q, const std::string& payload) {
        return handshake() + framed(encoded(q)) + framed(payload);
    };
    corpus.add("receiver", "record-from-trusted-host", exchange(query(0, "alice", "fuzz-host"), record));
    corpus.add("receiver", "list-from-trusted-user", exchange(query(1, "bob", "10.1.2.3"), list));
    corpus.add("receiver", "history-by-resolved-name",
               exchange(query(2, "bob", "fuzz.example"), whole));
    corpus.add("receiver", "empty-record-payload",
               handshake() + framed(encoded(query(0, "", "fuzz-host"))) + int32(0));
    corpus.add("receiver", "untrusted-host", exchange(query(0, "eve", "stranger"), record));
    corpus.add("receiver", "untrusted-user", exchange(query(1, "eve", "10.1.2.3"), list));
    corpus.add("receiver", "unknown-object-kind", exchange(query(5, "alice", "fuzz-host"), record));
    corpus.add("receiver", "empty-query", handshake() + int32(0));
    corpus.add("receiver", "query-version0",
               handshake() + framed(compressed(kHeader + " 0 0 5 alice 0 4000803 0 1\n")));
    corpus.add("receiver", "wrong-handshake",
               std::string("\xAC\x87\x06\x0B", 4) + framed(encoded(query(0, "a", "fuzz-host"))));
    corpus.add("receiver", "handshake-only", handshake());
    corpus.add("receiver", "negative-length", handshake() + int32(-1));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-DIRECTORY\n", argv[0]);
        return 2;
    }
    try {
        Corpus corpus(argv[1]);
        archiveSeeds(corpus);
        dataFileSeeds(corpus);
        receiverSeeds(corpus);
        std::printf("%d seed files written to %s\n", corpus.written(), argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
