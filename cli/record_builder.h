#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
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
AddArguments readAddArguments(Arguments& args);

// A file's bytes; "-" is standard input. Throws CommandError when it cannot be read.
std::string readFileBytes(const std::string& path);

// HTML as the "HTML Format" clipboard format carries it: a header of byte offsets before the
// document. Bytes that already start with such a header are kept as they are.
std::string toHtmlClipboardFormat(const std::string& html);

}  // namespace cli
