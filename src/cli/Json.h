// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JSON output of the command line, written as it goes: the document's frame
// (objects and arrays) is written here, and every value, one entry at a time,
// by the JSON library, so that a listing of 200,000 files never sits in memory
// as one text. Strings are always valid UTF-8: a byte sequence that is not
// UTF-8 is written as U+FFFD.

#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace sarvik::cli {

/// A JSON value whose members keep the order they were added in.
using Json = nlohmann::ordered_json;

/// The layout version of every JSON document the command line writes, its
/// first member "schemaVersion"; docs/schema/ describes each layout. It changes
/// when a member is renamed, removed or changes type.
inline constexpr int kJsonSchemaVersion = 1;

/// The JSON text of `value` on one line.
[[nodiscard]] std::string jsonText(const Json& value);

/// A member name of a JsonLine: a literal of printable ASCII without quote or
/// backslash, checked when the program is compiled, so that it is written as it
/// stands.
class JsonKey {
public:
    template <std::size_t N>
    consteval JsonKey(const char (&name)[N]) // NOLINT(google-explicit-constructor): literals convert
    {
        static_assert(N + 2 <= kRoom, "a longer member name needs more room");
        m_quoted[0] = '"';
        for (std::size_t i = 0; i + 1 < N; ++i) {
            const char ch = name[i];
            if (ch < 0x20 || ch > 0x7E || ch == '"' || ch == '\\')
                throw "a JSON member name is written as it stands"; // fails the compilation
            m_quoted[i + 1] = ch;
        }
        m_quoted[N] = '"';
        m_quoted[N + 1] = ':';
        m_size = N + 2;
    }
    [[nodiscard]] constexpr std::string_view name() const { return {m_quoted.data() + 1, m_size - 3}; }
    /// `"name":`, as a member of an object starts.
    [[nodiscard]] constexpr std::string_view quoted() const { return {m_quoted.data(), m_size}; }

private:
    static constexpr std::size_t kRoom = 32;
    std::array<char, kRoom> m_quoted{};
    std::size_t m_size = 0;
};

/// One JSON object written as jsonText writes it (on one line, members in the
/// order added), without building a Json value: the common member values
/// (numbers, booleans, null, plain text) are written directly, the rest
/// through the JSON library, so the text is the same either way.
class JsonLine {
public:
    JsonLine& add(const JsonKey& key, std::uint64_t value);
    JsonLine& add(const JsonKey& key, std::int64_t value);
    JsonLine& add(const JsonKey& key, std::uint32_t value) { return add(key, std::uint64_t{value}); }
    JsonLine& add(const JsonKey& key, std::uint16_t value) { return add(key, std::uint64_t{value}); }
    JsonLine& add(const JsonKey& key, bool value);
    JsonLine& add(const JsonKey& key, double value);
    JsonLine& add(const JsonKey& key, std::nullptr_t);
    JsonLine& add(const JsonKey& key, std::string_view text);
    JsonLine& add(const JsonKey& key, const std::string& text) { return add(key, std::string_view(text)); }
    JsonLine& add(const JsonKey& key, const char* text) { return add(key, std::string_view(text)); }
    /// The same for text known to be well-formed UTF-8 (a name as
    /// catalogue::nameAsUtf8 gives it, and paths joined from such names): only
    /// what JSON escapes is looked for.
    JsonLine& addUtf8(const JsonKey& key, std::string_view utf8);
    /// The same for the path of `name` in the folder whose path is `folder`
    /// ("/" for the root): `folder`, "/" unless it is the root, `name`; both
    /// well-formed UTF-8, and `folderPlain` what plainUtf8 says of `folder`
    /// (a listing works it out once per folder, not once per file).
    JsonLine& addUtf8Path(const JsonKey& key, std::string_view folder, bool folderPlain, std::string_view name);
    /// True when the well-formed UTF-8 `utf8` holds nothing JSON escapes.
    [[nodiscard]] static bool plainUtf8(std::string_view utf8);
    /// The same for text of printable ASCII without quote or backslash that the
    /// program wrote itself (a time): written as it stands, unchecked.
    JsonLine& addPlain(const JsonKey& key, std::string_view ascii);
    /// The object's text; the line starts again empty.
    [[nodiscard]] std::string take();
    /// Appends the object's text to `out`; the line starts again empty (keeping its room).
    void moveTo(std::string& out);

private:
    friend class JsonStream;
    /// `{"name":` or `,"name":`.
    void key(const JsonKey& key)
    {
        const std::string_view quoted = key.quoted();
        char* out = room(quoted.size() + 1);
        out[0] = m_used == 0 ? '{' : ',';
        quoted.copy(out + 1, quoted.size());
        m_used += quoted.size() + 1;
    }
    /// `text` between quotes: as it stands when `plain`, else through the library.
    void quoted(std::string_view text, bool plain);
    /// Room for `bytes` more after the text; written there, they count once
    /// m_used moves past them.
    char* room(std::size_t bytes)
    {
        if (m_text.size() - m_used < bytes)
            grow(bytes);
        return m_text.data() + m_used;
    }
    void grow(std::size_t bytes);
    void put(std::string_view text);
    [[nodiscard]] std::string_view text() const { return {m_text.data(), m_used}; }
    /// The text is the first m_used bytes; the rest is room kept between lines,
    /// so that a member costs a copy rather than a string's bookkeeping.
    std::string m_text;
    std::size_t m_used = 0;
};

/// Writes to `out` through a buffer of its own, handed on whenever it fills,
/// when the document closes and when the stream goes away; nothing else may
/// write to `out` while a document is open.
class JsonStream {
public:
    explicit JsonStream(std::FILE* out) : m_out(out) {}
    ~JsonStream() { flush(); }
    JsonStream(const JsonStream&) = delete;
    JsonStream& operator=(const JsonStream&) = delete;

    /// Opens an object or array: the document itself, a member `key` of the
    /// enclosing object, or (empty key) the next element of an enclosing array.
    JsonStream& beginObject(std::string_view key = {}) { return open(key, '{'); }
    /// Opens the document, an object whose first member is "schemaVersion".
    JsonStream& beginDocument() { return beginObject().value("schemaVersion", kJsonSchemaVersion); }
    JsonStream& endObject() { return close('}'); }
    JsonStream& beginArray(std::string_view key = {}) { return open(key, '['); }
    JsonStream& endArray() { return close(']'); }
    /// A member of the enclosing object (an object value laid out a member a
    /// line), or with an empty key the next element of the enclosing array (on
    /// one line).
    JsonStream& value(std::string_view key, const Json& value);
    /// Every member of `members` (an object) as members of the enclosing object.
    JsonStream& members(const Json& members);
    /// With an empty key, the next element of the enclosing array: `text`, a
    /// value already written as JSON on one line (a JsonLine's).
    JsonStream& element(std::string_view text);
    /// The same with `line`'s object, which starts again empty (keeping its room).
    JsonStream& element(JsonLine& line);

private:
    void prefix(std::string_view key);
    JsonStream& open(std::string_view key, char bracket);
    JsonStream& close(char bracket);
    void put(std::string_view text);
    void flush();
    std::FILE* m_out;
    std::string m_buffer;
    std::vector<bool> m_first; // per open container: no member written yet
};

} // namespace sarvik::cli
