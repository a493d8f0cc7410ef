#include "cli/Json.h"

#include <charconv>

namespace sarvik::cli {

std::string jsonText(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

/// Text the JSON library writes unchanged between quotes: printable ASCII
/// without quote or backslash.
bool plainText(std::string_view text)
{
    for (const char ch : text)
        if (ch < 0x20 || ch > 0x7E || ch == '"' || ch == '\\')
            return false;
    return true;
}

template <typename Number> void appendNumber(std::string& text, Number value)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
    text.append(digits, end);
}

} // namespace

void JsonLine::key(std::string_view key)
{
    m_text.push_back(m_text.empty() ? '{' : ',');
    add({}, key);
    m_text.push_back(':');
}

JsonLine& JsonLine::add(std::string_view key, std::uint64_t value)
{
    this->key(key);
    appendNumber(m_text, value);
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, std::int64_t value)
{
    this->key(key);
    appendNumber(m_text, value);
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, bool value)
{
    this->key(key);
    m_text.append(value ? "true" : "false");
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, double value)
{
    this->key(key);
    m_text.append(jsonText(Json(value)));
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, std::nullptr_t)
{
    this->key(key);
    m_text.append("null");
    return *this;
}

JsonLine& JsonLine::add(std::string_view key, std::string_view text)
{
    // An empty key: the quoted text alone (a member's name).
    if (!key.empty())
        this->key(key);
    if (plainText(text)) {
        m_text.push_back('"');
        m_text.append(text);
        m_text.push_back('"');
    } else {
        m_text.append(jsonText(Json(std::string(text))));
    }
    return *this;
}

std::string JsonLine::take()
{
    std::string text = m_text.empty() ? std::string("{}") : std::move(m_text) + '}';
    m_text.clear();
    return text;
}

void JsonStream::prefix(std::string_view key)
{
    if (!m_first.empty()) {
        if (!m_first.back())
            std::fputc(',', m_out);
        m_first.back() = false;
        std::fputc('\n', m_out);
        for (std::size_t i = 0; i < m_first.size(); ++i)
            std::fputs("  ", m_out);
    }
    if (!key.empty()) {
        std::fputs(jsonText(Json(std::string(key))).c_str(), m_out);
        std::fputs(": ", m_out);
    }
}

JsonStream& JsonStream::open(std::string_view key, char bracket)
{
    prefix(key);
    std::fputc(bracket, m_out);
    m_first.push_back(true);
    return *this;
}

JsonStream& JsonStream::close(char bracket)
{
    const bool empty = m_first.back();
    m_first.pop_back();
    if (!empty) {
        std::fputc('\n', m_out);
        for (std::size_t i = 0; i < m_first.size(); ++i)
            std::fputs("  ", m_out);
    }
    std::fputc(bracket, m_out);
    if (m_first.empty())
        std::fputc('\n', m_out);
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
    std::fputs(jsonText(value).c_str(), m_out);
    return *this;
}

JsonStream& JsonStream::element(std::string_view text)
{
    prefix({});
    std::fwrite(text.data(), 1, text.size(), m_out);
    return *this;
}

JsonStream& JsonStream::members(const Json& members)
{
    for (const auto& [key, member] : members.items())
        value(key, member);
    return *this;
}

} // namespace sarvik::cli
