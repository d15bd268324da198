#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// A small streaming JSON writer for the command-line program's machine-readable output.
// Strings are written as valid UTF-8: malformed bytes become U+FFFD.
class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(int64_t number);
    JsonWriter& value(uint32_t number) { return value(static_cast<int64_t>(number)); }
    JsonWriter& value(int number) { return value(static_cast<int64_t>(number)); }
    JsonWriter& value(size_t number) { return value(static_cast<int64_t>(number)); }
    JsonWriter& value(bool flag);
    JsonWriter& null();

    const std::string& text() const { return out_; }

private:
    void separate();
    void writeString(std::string_view text);

    std::string out_;
    // For each open container: whether it already holds an element.
    std::vector<bool> hasElement_;
    bool afterKey_ = false;
};

}  // namespace cli
