// A small JSON writer for info --json: one object, keys in the order written.
// Numbers are written so that they read back exactly; non-finite ones become null.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace sonimo::cli {

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& number(double v);
    JsonWriter& integer(std::int64_t v);
    JsonWriter& boolean(bool v);
    JsonWriter& null();
    JsonWriter& string(std::string_view utf8);
    const std::string& text() const { return out_; }

private:
    void separate();
    void quoted(std::string_view utf8);
    std::string out_;
    bool first_ = true;
    bool afterKey_ = false;
};

} // namespace sonimo::cli
