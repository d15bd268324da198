#include "cli/commands.h"

#include <csignal>
#include <ctime>
#include <ostream>

#include "cli/arguments.h"
#include "cli/caller_files.h"
#include "cli/daemon_control.h"
#include "cli/json_writer.h"
#include "cli/net_commands.h"
#include "cli/record_builder.h"
#include "cli/session.h"
#include "export/item_exporter.h"
#include "model/bitmap_item.h"
#include "model/block_items.h"
#include "model/embedded_object_item.h"
#include "model/enh_metafile_item.h"
#include "model/data_object.h"
#include "model/item_type.h"
#include "model/record_list.h"
#include "model/search_list.h"
#include "model/text_item.h"
#include "persist/config/app_config.h"
#include "persist/config/app_version.h"
#include "persist/config/option_keys.h"
#include "persist/files/data_folder.h"
#include "platform/text_codec.h"

namespace cli {

size_t parseIndex(const std::string& text, const char* what) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError(std::string(what) + " must be a number, not \"" + text + "\"");
    return std::stoul(text);
}

namespace {

constexpr const char* kVersionText = "quillet 4.0.803";

struct Context {
    Store& store;
    bool json;
    CallerFiles files;
    DaemonControl* daemon;
    std::ostream& out;
};

// LIST: a list's name, else its index in the history.
cb::RecordList& findList(cb::History& history, const std::string& word) {
    if (auto* list = history.findListByName(platform::utf8ToUtf16(word))) return *list;
    if (!word.empty() && word.find_first_not_of("0123456789") == std::string::npos &&
        word.size() < 10) {
        if (auto* list = history.at(std::stoul(word))) return *list;
    }
    throw CommandError("There is no record list \"" + word + "\".");
}

const cb::RecordPtr& findRecord(const cb::RecordList& list, const std::string& word) {
    const size_t index = parseIndex(word, "INDEX");
    if (index >= list.count())
        throw CommandError("The list \"" + list.nameUtf8() + "\" has no record " + word + ".");
    return list.records()[index];
}

std::string localTimeText(uint32_t packed) {
    if (packed == 0) return "-";
    const std::time_t when = cb::unpackLocalTime(packed);
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else out.push_back(c);
    }
    return out;
}

std::string guidText(const cb::Guid& id) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  id.data1, id.data2, id.data3, id.data4[0], id.data4[1], id.data4[2],
                  id.data4[3], id.data4[4], id.data4[5], id.data4[6], id.data4[7]);
    return text;
}

void saveHistoryOrFail(Context& c) {
    if (!c.store.saveHistory())
        throw CommandError("The history cannot be saved in \"" + c.store.folder().string() +
                           "\".");
}

void saveConfigOrFail(Context& c) {
    if (!c.store.saveConfig())
        throw CommandError("The configuration cannot be saved in \"" +
                           c.store.folder().string() + "\".");
}

// ---- reading commands

void printLists(Context& c) {
    cb::History& history = c.store.history();
    if (c.json) {
        JsonWriter json;
        json.beginArray();
        for (size_t i = 0; i < history.count(); ++i) {
            const cb::RecordList& list = *history.at(i);
            const auto* search = dynamic_cast<const SearchList*>(&list);
            json.beginObject()
                .key("index").value(i)
                .key("name").value(list.nameUtf8())
                .key("count").value(list.count())
                .key("maxCount").value(list.maxCount())
                .key("discardOld").value(list.discardOld())
                .key("moveToFront").value(list.moveToFront())
                .key("listening").value(&list == history.listeningList())
                .key("search").value(search != nullptr);
            if (search) {
                json.key("criteria").beginObject()
                    .key("text").value(search->criteria().textUtf8())
                    .key("matchCase").value(search->criteria().matchCase())
                    .endObject();
            }
            json.endObject();
        }
        json.endArray();
        c.out << json.text() << '\n';
        return;
    }
    for (size_t i = 0; i < history.count(); ++i) {
        const cb::RecordList& list = *history.at(i);
        std::string flags;
        auto flag = [&](bool on, const char* name) {
            if (on) flags += (flags.empty() ? "" : ",") + std::string(name);
        };
        flag(&list == history.listeningList(), "listening");
        flag(dynamic_cast<const SearchList*>(&list) != nullptr, "search");
        flag(list.discardOld(), "discard-old");
        flag(list.moveToFront(), "move-to-front");
        c.out << i << '\t' << list.nameUtf8() << '\t' << list.count() << '\t' << list.maxCount()
              << '\t' << flags << '\n';
    }
}

void printRecords(Context& c, const cb::RecordList& list) {
    if (c.json) {
        JsonWriter json;
        json.beginArray();
        for (size_t i = 0; i < list.count(); ++i) {
            const cb::Record& r = *list.at(i);
            json.beginObject()
                .key("index").value(i)
                .key("text").value(r.textUtf8())
                .key("application").value(r.applicationUtf8())
                .key("time").value(r.time())
                .key("textIndex").value(static_cast<int64_t>(r.textIndex()))
                .key("id").value(guidText(r.id()))
                .endObject();
        }
        json.endArray();
        c.out << json.text() << '\n';
        return;
    }
    for (size_t i = 0; i < list.count(); ++i) {
        const cb::Record& r = *list.at(i);
        c.out << i << '\t' << localTimeText(r.time()) << '\t' << r.applicationUtf8() << '\t'
              << oneLine(r.textUtf8()) << '\n';
    }
}

size_t itemSize(const cb::Item& item) {
    if (auto* text = dynamic_cast<const cb::TextItem*>(&item)) return text->textUtf8().size();
    if (auto* block = dynamic_cast<const cb::SimpleItem*>(&item)) return block->block().size();
    if (auto* bitmap = dynamic_cast<const cb::BitmapItem*>(&item)) return bitmap->png().size();
    if (auto* emf = dynamic_cast<const cb::EnhMetaFileItem*>(&item)) return emf->block().size();
    if (auto* object = dynamic_cast<const cb::EmbeddedObjectItem*>(&item))
        return object->block().size();
    return 0;
}

void showRecord(Context& c, const cb::RecordList& list, const cb::Record& record) {
    const auto items = record.rebuildItems(&list);
    if (!items) throw CommandError("The items of this record cannot be unpacked.");
    JsonWriter json;
    if (c.json) json.beginObject().key("text").value(record.textUtf8()).key("items").beginArray();
    else c.out << oneLine(record.textUtf8()) << '\n';
    for (const auto& item : items->items()) {
        if (dynamic_cast<const cb::QuilletTagItem*>(item.get())) continue;
        const cb::ItemType* type = cb::findTypeOf(*item);
        const int typeId = type ? type->typeId() : 0;
        const std::string name = type ? platform::utf16ToUtf8(type->displayName()) : "";
        const auto* text = dynamic_cast<const cb::TextItem*>(item.get());
        if (c.json) {
            json.beginObject().key("typeId").value(typeId).key("type").value(name).key("size").value(
                itemSize(*item));
            if (text) json.key("text").value(text->textUtf8());
            json.endObject();
        } else {
            c.out << typeId << '\t' << name << '\t' << itemSize(*item);
            if (text) c.out << '\t' << oneLine(text->textUtf8());
            c.out << '\n';
        }
    }
    if (c.json) c.out << json.endArray().endObject().text() << '\n';
}

// ---- changing commands

void addRecord(Context& c, Arguments& args) {
    AddArguments add = readAddArguments(args, c.files);
    cb::History& history = c.store.history();
    cb::RecordList* list = add.list ? &findList(history, *add.list) : history.listeningList();
    if (list == nullptr) throw CommandError("There is no listening list.");
    if (!list->canAdd())
        throw CommandError("The list \"" + list->nameUtf8() +
                           "\" is full and does not discard old records.");
    auto record = cb::Record::createForCapture(std::time(nullptr));
    if (!record->completeFromItems(*add.items)) throw CommandError("The record cannot be made.");
    if (add.application) record->setApplicationUtf8(*add.application);
    list->add(record);
    saveHistoryOrFail(c);
}

bool nameTaken(const cb::History& history, const std::string& name, const cb::RecordList* except) {
    for (const auto* list : history.lists())
        if (list != except && list->nameUtf8() == name) return true;
    return false;
}

void newList(Context& c, Arguments& args) {
    const std::string name = args.take("NAME");
    auto list = std::make_unique<cb::RecordList>(platform::utf8ToUtf16(name));
    while (!args.empty()) {
        if (auto max = args.takeOption("--max")) {
            const size_t n = parseIndex(*max, "--max");
            if (n < 1 || n > 1000) throw UsageError("--max must lie between 1 and 1000");
            list->setMaxCount(static_cast<uint32_t>(n));
        } else if (args.takeFlag("--no-discard")) {
            list->setDiscardOld(false);
        } else if (args.takeFlag("--move-to-front")) {
            list->setMoveToFront(true);
        } else {
            args.expectEnd();
        }
    }
    cb::History& history = c.store.history();
    if (name.empty()) throw CommandError("A record list needs a name.");
    if (nameTaken(history, name, nullptr))
        throw CommandError("The name of the record list is already in the record history!");
    if (!history.insertList(list.get(), history.count()))
        throw CommandError("The record history already holds " +
                           std::to_string(history.maxLists()) + " lists.");
    list.release();
    saveHistoryOrFail(c);
}

void renameList(Context& c, Arguments& args) {
    cb::History& history = c.store.history();
    cb::RecordList& list = findList(history, args.take("LIST"));
    const std::string name = args.take("NAME");
    args.expectEnd();
    if (name.empty()) throw CommandError("A record list needs a name.");
    if (nameTaken(history, name, &list))
        throw CommandError("The name of the record list is already in the record history!");
    const std::string old = list.nameUtf8();
    list.setName(platform::utf8ToUtf16(name));
    history.notifyListChanged(&list);
    // Clients that deliver into the list keep doing so under its new name.
    AppConfig& config = c.store.config();
    TrustedClientList clients = config.trustedClientsCopy();
    bool changed = false;
    for (auto& client : clients.clients)
        if (client.listName == old) {
            client.listName = name;
            changed = true;
        }
    saveHistoryOrFail(c);
    if (changed) {
        config.setTrustedClients(std::move(clients));
        saveConfigOrFail(c);
    }
}

void search(Context& c, Arguments& args) {
    const bool matchCase = args.takeFlag("--match-case");
    const std::string text = args.take("TEXT");
    args.expectEnd();
    cb::History& history = c.store.history();
    SearchList* searchList = nullptr;
    for (auto* list : history.lists())
        if ((searchList = dynamic_cast<SearchList*>(list)) != nullptr) break;
    if (searchList == nullptr) throw CommandError("The history has no search list.");
    searchList->criteria().setText(platform::utf8ToUtf16(text));
    searchList->criteria().setMatchCase(matchCase);
    searchList->refresh(history);
    saveHistoryOrFail(c);
    printRecords(c, *searchList);
}

void loadList(Context& c, cb::RecordList& list, const std::string& file) {
    cb::RecordList loaded;
    try {
        persist::readListFile(loaded, c.files.resolve(file));
    } catch (const std::exception&) {
        throw CommandError("Error loading the clipboard record list!");
    }
    // From the last to the first, so that they stand at the front in the file's order.
    for (size_t i = loaded.count(); i-- > 0;) list.add(loaded.at(i));
    saveHistoryOrFail(c);
}

void saveList(Context& c, const cb::RecordList& list, const std::string& file) {
    try {
        if (!persist::writeListFile(list, c.files.resolve(file)))
            throw CommandError("The file \"" + file + "\" cannot be created.");
    } catch (const CommandError&) {
        throw;
    } catch (const std::exception&) {
        throw CommandError("Error saving the clipboard record list!");
    }
}

// ---- configuration

int parseKey(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("KEY must be an option number, not \"" + text + "\"");
    return std::stoi(text);
}

void configCommand(Context& c, Arguments& args) {
    const std::string what = args.take("config command");
    AppConfig& config = c.store.config();
    if (what == "show") {
        args.expectEnd();
        JsonWriter json;
        json.beginObject();
        for (const auto& [key, value] : config.options().entries()) {
            if (c.json) json.key(std::to_string(key)).value(value.text);
            else c.out << key << '\t' << value.text << '\n';
        }
        if (c.json) c.out << json.endObject().text() << '\n';
    } else if (what == "get") {
        const int key = parseKey(args.take("KEY"));
        args.expectEnd();
        const std::string* text = config.options().text(key);
        if (text == nullptr) throw CommandError("Option " + std::to_string(key) + " is not set.");
        if (c.json) c.out << JsonWriter().value(*text).text() << '\n';
        else c.out << *text << '\n';
    } else if (what == "set") {
        const int key = parseKey(args.take("KEY"));
        std::string value = args.take("VALUE");
        args.expectEnd();
        config.options().setText(key, std::move(value));
        saveConfigOrFail(c);
    } else {
        throw UsageError("unknown config command \"" + what + "\"");
    }
}

void trustCommand(Context& c, Arguments& args) {
    const std::string what = args.take("trust command");
    AppConfig& config = c.store.config();
    TrustedClientList clients = config.trustedClientsCopy();
    if (what == "add") {
        std::string host = args.take("HOST"), user = args.take("USER"), list = args.take("LIST");
        args.expectEnd();
        clients.clients.emplace_back(std::move(host), std::move(user), std::move(list));
    } else if (what == "remove") {
        const size_t n = parseIndex(args.take("N"), "N");
        args.expectEnd();
        if (n >= clients.clients.size())
            throw CommandError("There is no trusted client " + std::to_string(n) + ".");
        clients.clients.erase(clients.clients.begin() + static_cast<std::ptrdiff_t>(n));
    } else if (what == "list") {
        args.expectEnd();
        JsonWriter json;
        json.beginArray();
        for (size_t i = 0; i < clients.clients.size(); ++i) {
            const auto& t = clients.clients[i];
            if (c.json)
                json.beginObject().key("index").value(i).key("host").value(t.host).key("user")
                    .value(t.user).key("list").value(t.listName).endObject();
            else c.out << i << '\t' << t.host << '\t' << t.user << '\t' << t.listName << '\n';
        }
        if (c.json) c.out << json.endArray().text() << '\n';
        return;
    } else {
        throw UsageError("unknown trust command \"" + what + "\"");
    }
    config.setTrustedClients(std::move(clients));
    saveConfigOrFail(c);
}

DaemonControl& needDaemon(Context& c) {
    if (c.daemon == nullptr) throw CommandError(kNoDaemonText);
    return *c.daemon;
}

// "copy LIST INDEX", "paste LIST INDEX [--plain]": as when the record is picked in a window, it
// moves to the front afterwards when its list says so.
void pickRecord(Context& c, const std::string& command, Arguments& args) {
    const std::string name = args.take("LIST"), index = args.take("INDEX");
    const bool plain = command == "paste" && args.takeFlag("--plain");
    args.expectEnd();
    DaemonControl& daemon = needDaemon(c);
    cb::RecordList& list = findList(c.store.history(), name);
    const cb::RecordPtr record = findRecord(list, index);
    if (command == "copy" ? !daemon.copy(record, &list) : !daemon.paste(record, &list, plain))
        throw CommandError(command == "copy" ? "The record cannot be put on the clipboard."
                                             : "The record cannot be pasted.");
    const int at = list.indexOf(record);
    if (list.moveToFront() && at > 0) {
        list.moveToFront(static_cast<size_t>(at));
        saveHistoryOrFail(c);
    }
}

int dispatch(Context& c, const std::string& command, Arguments& args) {
    cb::History* history = nullptr;
    auto lists = [&]() -> cb::History& { return *(history = &c.store.history()); };
    if (command == "lists") {
        args.expectEnd();
        printLists(c);
    } else if (command == "records") {
        const std::string name = args.take("LIST");
        args.expectEnd();
        printRecords(c, findList(lists(), name));
    } else if (command == "show") {
        const std::string name = args.take("LIST"), index = args.take("INDEX");
        args.expectEnd();
        cb::RecordList& list = findList(lists(), name);
        showRecord(c, list, *findRecord(list, index));
    } else if (command == "add") {
        addRecord(c, args);
    } else if (command == "delete") {
        const std::string name = args.take("LIST"), index = args.take("INDEX");
        args.expectEnd();
        cb::RecordList& list = findList(lists(), name);
        list.remove(findRecord(list, index));
        saveHistoryOrFail(c);
    } else if (command == "clear") {
        const std::string name = args.take("LIST");
        args.expectEnd();
        findList(lists(), name).clear();
        saveHistoryOrFail(c);
    } else if (command == "new-list") {
        newList(c, args);
    } else if (command == "remove-list") {
        const std::string name = args.take("LIST");
        args.expectEnd();
        cb::RecordList& list = findList(lists(), name);
        if (&list == history->listeningList())
            throw CommandError("The listening list cannot be removed.");
        history->removeList(&list, true);
        saveHistoryOrFail(c);
    } else if (command == "listen") {
        const std::string name = args.take("LIST");
        args.expectEnd();
        cb::RecordList& list = findList(lists(), name);
        if (dynamic_cast<SearchList*>(&list))
            throw CommandError("A search list cannot listen to the clipboard.");
        history->setListeningList(&list);
        saveHistoryOrFail(c);
    } else if (command == "rename") {
        renameList(c, args);
    } else if (command == "search") {
        search(c, args);
    } else if (command == "save-list") {
        const std::string name = args.take("LIST"), file = args.take("FILE");
        args.expectEnd();
        saveList(c, findList(lists(), name), file);
    } else if (command == "load-list") {
        const std::string name = args.take("LIST"), file = args.take("FILE");
        args.expectEnd();
        loadList(c, findList(lists(), name), file);
    } else if (command == "export") {
        const std::string name = args.take("LIST"), folder = args.take("DIR");
        args.expectEnd();
        const std::filesystem::path target = c.files.resolve(folder);
        std::error_code ec;
        if (!std::filesystem::is_directory(target, ec))
            throw CommandError("The folder \"" + folder + "\" does not exist.");
        const size_t files = exportList(findList(lists(), name), target);
        if (c.json) c.out << JsonWriter().beginObject().key("files").value(files).endObject().text() << '\n';
        else c.out << files << " files written\n";
    } else if (command == "send") {
        return sendCommand(c.store, args, c.out, c.json, c.daemon);
    } else if (command == "receive") {
        // The daemon receives by itself when that is switched on; a receiver of ours would block
        // it, and the records it got would be lost at the daemon's next save.
        if (c.daemon)
            throw CommandError(
                c.store.config().getBool(kOptReceiveEnabled, false)
                    ? "The quillet daemon already receives records (option 17 is on)."
                    : "The quillet daemon keeps the history; let it receive records with "
                      "\"quillet config set 17 1\".");
        return receiveCommand(c.store, args, c.out, c.json);
    } else if (command == "copy" || command == "paste") {
        pickRecord(c, command, args);
    } else if (command == "popup") {
        const bool plain = args.takeFlag("--plain");
        args.expectEnd();
        if (!needDaemon(c).showPopup(plain))
            throw CommandError("The quillet daemon has no windows to show the popup in; the program "
                               "started with \"quillet\" (without a command word) has them.");
    } else if (command == "pause" || command == "start") {
        args.expectEnd();
        DaemonControl& daemon = needDaemon(c);
        if (command == "pause") daemon.pause();
        else daemon.start();
        saveConfigOrFail(c);  // recording is an option of the configuration
    } else if (command == "config") {
        configCommand(c, args);
    } else if (command == "trust") {
        trustCommand(c, args);
    } else {
        throw UsageError("unknown command \"" + command + "\"");
    }
    return 0;
}

}  // namespace

std::string usage() {
    return "usage: quillet [--data-dir DIR] [--json] COMMAND [ARGUMENTS]\n"
           "\n"
           "LIST is a list's name or its index in the history.\n"
           "  lists                               the record lists\n"
           "  records LIST                        the records of a list\n"
           "  show LIST INDEX                     the items of one record\n"
           "  add [--list LIST] [--application PATH] ITEM...\n"
           "        ITEM: --text TEXT | --text-file FILE|- | --html FILE | --rtf FILE |\n"
           "              --csv FILE | --image FILE | --files PATH...\n"
           "  delete LIST INDEX | clear LIST\n"
           "  new-list NAME [--max N] [--no-discard] [--move-to-front]\n"
           "  remove-list LIST | listen LIST | rename LIST NAME\n"
           "  search [--match-case] TEXT          search all lists into the search list\n"
           "  save-list LIST FILE | load-list LIST FILE\n"
           "  export LIST DIR                     write each record's items to files\n"
           "  send HOST[:PORT] (--list LIST | --record LIST INDEX)\n"
           "  receive [--port N] [--count K]      accept records from trusted clients\n"
           "  config show | config get KEY | config set KEY VALUE\n"
           "  trust add HOST USER LIST | trust list | trust remove N\n"
           "  daemon [--backend x11|wayland]      the resident program: records the clipboard\n"
           "                                      (of the Wayland session or the X display)\n"
           "With a daemon running for this display and data folder, it runs the commands above\n"
           "on its live history; these need it:\n"
           "  copy LIST INDEX                     put a record on the clipboard\n"
           "  paste LIST INDEX [--plain]          paste a record (its text only) into the\n"
           "                                      focused program\n"
           "  pause | start                       stop or resume recording the clipboard\n"
           "  popup [--plain]                     open the popup of records at the caret (in\n"
           "                                      the windowed program); bind it to a key in\n"
           "                                      the desktop's keyboard settings\n"
           "\n"
           "  --data-dir DIR   the data folder (default: $QUILLET_DATA_DIR, a portable install's\n"
           "                   folder, or $XDG_DATA_HOME/quillet)\n"
           "  --json           machine-readable output\n"
           "  --help, --version\n"
           "QUILLET_NO_DAEMON=1 never hands a command to the daemon (it fails while one holds the\n"
           "data folder).\n";
}

Invocation parseInvocation(const std::vector<std::string>& words) {
    Invocation invocation;
    size_t i = 0;
    for (; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "--help" || w == "-h") {
            invocation.action = Invocation::Action::Help;
            return invocation;
        } else if (w == "--version") {
            invocation.action = Invocation::Action::Version;
            return invocation;
        } else if (w == "--json") {
            invocation.json = true;
        } else if (w == "--data-dir") {
            if (++i >= words.size()) throw UsageError("--data-dir needs a folder");
            invocation.dataFolder = words[i];
        } else if (w.rfind("--", 0) == 0) {
            throw UsageError("unknown option \"" + w + "\"");
        } else {
            break;
        }
    }
    // The Windows program's installer and logon switches have no meaning here: show what can be
    // done.
    if (i >= words.size() || words[i] == "/Commit" || words[i] == "/Uninstall" ||
        words[i] == "-startup")
        return invocation;
    invocation.action = Invocation::Action::Command;
    invocation.words.assign(words.begin() + static_cast<std::ptrdiff_t>(i), words.end());
    return invocation;
}

namespace {

// Errors as one sentence, with the status of their kind.
template <class Body>
int reportingErrors(std::ostream& err, Body body) {
    try {
        return body();
    } catch (const UsageError& e) {
        err << "quillet: " << e.what() << "\n" << "Try \"quillet --help\".\n";
        return 2;
    } catch (const std::exception& e) {
        err << "quillet: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace

int runCommand(const Request& request, std::ostream& out, std::ostream& err, Store& store,
               DaemonControl* daemon) {
    return reportingErrors(err, [&] {
        if (request.words.empty()) throw UsageError("missing command");
        Context context{store, request.json,
                        CallerFiles(request.workingFolder, request.standardInput), daemon, out};
        Arguments args(std::vector<std::string>(request.words.begin() + 1, request.words.end()));
        return dispatch(context, request.words[0], args);
    });
}

int run(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    Invocation invocation;
    if (const int status = reportingErrors(err, [&] {
            invocation = parseInvocation(words);
            return 0;
        }))
        return status;
    switch (invocation.action) {
    case Invocation::Action::Help:
        out << usage();
        return 0;
    case Invocation::Action::Version:
        out << kVersionText << '\n';
        return 0;
    case Invocation::Action::Command:
        break;
    }
    Request request{invocation.words, invocation.json, {}, std::nullopt};
    return reportingErrors(err, [&] {
        Session session(invocation.dataFolder ? *invocation.dataFolder : persist::dataFolder());
        return runCommand(request, out, err, session, nullptr);
    });
}

}  // namespace cli
