// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Json.h"

#include "cli/ByteWords.h"
#include "cli/Digits.h"

#include "catalogue/NameDecode.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace sarvik::cli {

std::string jsonText(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

/// Text the JSON library writes unchanged between quotes: well-formed UTF-8
/// without control characters (below 0x20), quote or backslash. (It escapes
/// nothing else when not asked for ASCII output, DEL included.)
/// True when `text` holds no byte that JSON escapes: below 0x20, a quote or
/// a backslash. `high` gains the top bits of the bytes looked at together.
bool noEscapes(std::string_view text, std::uint64_t& high);

bool plainText(std::string_view text)
{
    std::uint64_t high = 0;
    return noEscapes(text, high) && (high == 0 || catalogue::isValidUtf8(text));
}

bool noEscapes(std::string_view text, std::uint64_t& high)
{
    // Eight bytes at a time (a listing checks some 300 bytes an entry): a word
    // passes when no byte is below 0x20, a quote or a backslash. Bytes above
    // 0x7F count in none of these tests; whether they make well-formed UTF-8
    // is the caller's question.
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        const std::uint64_t w = words::load(text, i);
        if (words::hasBelow(w, 0x20) || words::has(w, '"') || words::has(w, '\\'))
            return false;
        high |= w & words::kHighBits;
    }
    for (; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || text[i] == '"' || text[i] == '\\')
            return false;
        high |= byte & 0x80U;
    }
    return true;
}

} // namespace

void JsonLine::grow(std::size_t bytes)
{
    m_text.resize(std::max(2 * m_text.size(), m_used + bytes + 256));
}

void JsonLine::put(std::string_view text)
{
    std::memcpy(room(text.size()), text.data(), text.size());
    m_used += text.size();
}

JsonLine& JsonLine::add(const JsonKey& key, std::uint64_t value)
{
    this->key(key);
    constexpr std::size_t kDigits = 20;
    char* out = room(kDigits);
    m_used += static_cast<std::size_t>(digits::decimal(out, value) - out);
    return *this;
}

JsonLine& JsonLine::add(const JsonKey& key, std::int64_t value)
{
    this->key(key);
    constexpr std::size_t kDigits = 20; // with the sign
    char* out = room(kDigits);
    m_used += static_cast<std::size_t>(std::to_chars(out, out + kDigits, value).ptr - out);
    return *this;
}

JsonLine& JsonLine::add(const JsonKey& key, bool value)
{
    this->key(key);
    put(value ? "true" : "false");
    return *this;
}

JsonLine& JsonLine::add(const JsonKey& key, double value)
{
    this->key(key);
    // The shares that most files have, as the library writes them.
    if (value == 0.0 && !std::signbit(value))
        put("0.0");
    else if (value == 1.0)
        put("1.0");
    else
        put(jsonText(Json(value)));
    return *this;
}

JsonLine& JsonLine::add(const JsonKey& key, std::nullptr_t)
{
    this->key(key);
    put("null");
    return *this;
}

JsonLine& JsonLine::add(const JsonKey& key, std::string_view text)
{
    this->key(key);
    quoted(text, plainText(text));
    return *this;
}

JsonLine& JsonLine::addUtf8(const JsonKey& key, std::string_view utf8)
{
    this->key(key);
    std::uint64_t high = 0;
    quoted(utf8, noEscapes(utf8, high));
    return *this;
}

bool JsonLine::plainUtf8(std::string_view utf8)
{
    std::uint64_t high = 0;
    return noEscapes(utf8, high);
}

JsonLine& JsonLine::addUtf8Path(const JsonKey& key, std::string_view folder, bool folderPlain, std::string_view name)
{
    const bool slash = folder.size() > 1;
    if (!folderPlain || !plainUtf8(name)) {
        std::string path(folder);
        if (slash)
            path.push_back('/');
        path.append(name);
        return addUtf8(key, path);
    }
    this->key(key);
    char* out = room(folder.size() + name.size() + 3);
    *out++ = '"';
    out = std::copy(folder.begin(), folder.end(), out);
    if (slash)
        *out++ = '/';
    out = std::copy(name.begin(), name.end(), out);
    *out = '"';
    m_used += folder.size() + name.size() + (slash ? 3 : 2);
    return *this;
}

JsonLine& JsonLine::addPlain(const JsonKey& key, std::string_view ascii)
{
    this->key(key);
    quoted(ascii, true);
    return *this;
}

void JsonLine::quoted(std::string_view text, bool plain)
{
    if (!plain) {
        put(jsonText(Json(std::string(text))));
        return;
    }
    char* out = room(text.size() + 2);
    out[0] = '"';
    std::memcpy(out + 1, text.data(), text.size());
    out[text.size() + 1] = '"';
    m_used += text.size() + 2;
}

void JsonLine::moveTo(std::string& out)
{
    if (m_used == 0) {
        out.append("{}");
        return;
    }
    out.append(text());
    out.push_back('}');
    m_used = 0;
}

std::string JsonLine::take()
{
    std::string line = m_used == 0 ? std::string("{}") : std::string(text()) + '}';
    m_used = 0;
    return line;
}

namespace {
/// Bytes gathered before they are handed to the FILE: a listing of 200,000
/// entries then takes a few hundred writes rather than a few calls per entry.
constexpr std::size_t kStreamBuffer = 256 * 1024;
} // namespace

void JsonStream::put(std::string_view text)
{
    m_buffer.append(text);
    if (m_buffer.size() >= kStreamBuffer)
        flush();
}

void JsonStream::flush()
{
    if (!m_buffer.empty())
        std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out);
    m_buffer.clear();
}

void JsonStream::prefix(std::string_view key)
{
    if (!m_first.empty()) {
        if (!m_first.back())
            m_buffer.push_back(',');
        m_first.back() = false;
        m_buffer.push_back('\n');
        for (std::size_t i = 0; i < m_first.size(); ++i)
            m_buffer.append("  ");
    }
    if (!key.empty()) {
        put(jsonText(Json(std::string(key))));
        put(": ");
    }
}

JsonStream& JsonStream::open(std::string_view key, char bracket)
{
    prefix(key);
    m_buffer.push_back(bracket);
    m_first.push_back(true);
    return *this;
}

JsonStream& JsonStream::close(char bracket)
{
    const bool empty = m_first.back();
    m_first.pop_back();
    if (!empty) {
        m_buffer.push_back('\n');
        for (std::size_t i = 0; i < m_first.size(); ++i)
            m_buffer.append("  ");
    }
    m_buffer.push_back(bracket);
    if (m_first.empty()) {
        m_buffer.push_back('\n');
        flush(); // the document is whole
    }
    return *this;
}

JsonStream& JsonStream::value(std::string_view key, const Json& value)
{
    if (!key.empty() && value.is_object()) {
        // A named object (a volume, a drive page) is laid out a member a line,
        // as the document is; array elements stay one to a line.
        return beginObject(key).members(value).endObject();
    }
    prefix(key);
    put(jsonText(value));
    return *this;
}

JsonStream& JsonStream::element(std::string_view text)
{
    prefix({});
    put(text);
    return *this;
}

JsonStream& JsonStream::element(JsonLine& line)
{
    prefix({});
    if (line.m_used == 0) {
        put("{}");
    } else {
        line.put("}");
        put(line.text());
        line.m_used = 0;
    }
    return *this;
}

JsonStream& JsonStream::members(const Json& members)
{
    for (const auto& [key, member] : members.items())
        value(key, member);
    return *this;
}

} // namespace sarvik::cli
