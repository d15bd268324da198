#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "cli/caller_files.h"
#include "model/data_object.h"

namespace cli {

// What "add" was given: items in the order named (as a capture offers them: --text,
// --text-file, --html, --rtf, --csv, --image, --files), and the --list and --application
// options, which may stand anywhere among them.
struct AddArguments {
    std::unique_ptr<cb::DataObject> items;
    std::optional<std::string> list;
    std::optional<std::string> application;
};
// The files the items name are read through `files`.
AddArguments readAddArguments(Arguments& args, CallerFiles& files);

// Whether the command (its word first) reads standard input: "add" with an item file "-".
bool readsStandardInput(const std::vector<std::string>& words);

// HTML as the "HTML Format" clipboard format carries it: a header of byte offsets before the
// document. Bytes that already start with such a header are kept as they are.
std::string toHtmlClipboardFormat(const std::string& html);

}  // namespace cli
