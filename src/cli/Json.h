#pragma once
// A small streaming JSON writer for the command line's --json output.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::cli {

class JsonWriter {
public:
    JsonWriter& beginObject(std::string_view key = {});
    JsonWriter& endObject();
    JsonWriter& beginArray(std::string_view key = {});
    JsonWriter& endArray();
    JsonWriter& value(std::string_view key, std::string_view text);
    JsonWriter& value(std::string_view key, const char* text) { return value(key, std::string_view(text)); }
    JsonWriter& value(std::string_view key, std::uint64_t number);
    JsonWriter& value(std::string_view key, std::int64_t number);
    JsonWriter& value(std::string_view key, std::uint32_t number) { return value(key, std::uint64_t{number}); }
    JsonWriter& value(std::string_view key, std::uint16_t number) { return value(key, std::uint64_t{number}); }
    JsonWriter& value(std::string_view key, std::uint8_t number) { return value(key, std::uint64_t{number}); }
    JsonWriter& value(std::string_view key, double number);
    JsonWriter& boolean(std::string_view key, bool flag);
    JsonWriter& null(std::string_view key);

    [[nodiscard]] const std::string& str() const { return m_out; }
    /// Escapes a UTF-8 string as a JSON string literal (with quotes).
    static std::string quote(std::string_view text);
    /// Appends `text` as a JSON string literal to `out`.
    static void appendQuoted(std::string& out, std::string_view text);

private:
    void prefix(std::string_view key);
    std::string m_out;
    std::vector<bool> m_first; // per open container: no member written yet
};

} // namespace sarvik::cli
