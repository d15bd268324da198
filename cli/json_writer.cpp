#include "cli/json_writer.h"

#include <cstdio>

#include "platform/text_codec.h"

namespace cli {

void JsonWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasElement_.empty()) {
        if (hasElement_.back()) out_.push_back(',');
        hasElement_.back() = true;
    }
}

JsonWriter& JsonWriter::beginObject() {
    separate();
    out_.push_back('{');
    hasElement_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    hasElement_.pop_back();
    out_.push_back('}');
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    separate();
    out_.push_back('[');
    hasElement_.push_back(false);
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    hasElement_.pop_back();
    out_.push_back(']');
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    separate();
    writeString(name);
    out_.push_back(':');
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
    separate();
    writeString(text);
    return *this;
}

JsonWriter& JsonWriter::value(int64_t number) {
    separate();
    out_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(bool flag) {
    separate();
    out_ += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    out_ += "null";
    return *this;
}

void JsonWriter::writeString(std::string_view text) {
    // The round trip through UTF-16 replaces malformed sequences.
    const std::string clean = platform::utf16ToUtf8(platform::utf8ToUtf16(text));
    out_.push_back('"');
    for (unsigned char c : clean) {
        switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            case '\b': out_ += "\\b"; break;
            case '\f': out_ += "\\f"; break;
            default:
                if (c < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", c);
                    out_ += escape;
                } else {
                    out_.push_back(static_cast<char>(c));
                }
        }
    }
    out_.push_back('"');
}

}  // namespace cli
