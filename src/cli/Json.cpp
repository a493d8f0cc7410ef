#include "cli/Json.h"

#include <charconv>
#include <cstdio>

namespace sarvik::cli {

std::string JsonWriter::quote(std::string_view text)
{
    std::string out;
    appendQuoted(out, text);
    return out;
}

void JsonWriter::appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    std::size_t plain = 0; // start of the run of characters that need no escape
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\')
            continue;
        out.append(text.data() + plain, i - plain);
        plain = i + 1;
        switch (byte) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default: {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", byte);
            out += buf;
        }
        }
    }
    out.append(text.data() + plain, text.size() - plain);
    out += '"';
}

void JsonWriter::prefix(std::string_view key)
{
    if (!m_first.empty()) {
        if (!m_first.back())
            m_out += ',';
        m_first.back() = false;
        m_out += '\n';
        m_out.append(2 * m_first.size(), ' ');
    }
    if (!key.empty()) {
        appendQuoted(m_out, key);
        m_out += ": ";
    }
}

JsonWriter& JsonWriter::beginObject(std::string_view key)
{
    prefix(key);
    m_out += '{';
    m_first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject()
{
    const bool empty = m_first.back();
    m_first.pop_back();
    if (!empty) {
        m_out += '\n';
        m_out.append(2 * m_first.size(), ' ');
    }
    m_out += '}';
    if (m_first.empty())
        m_out += '\n';
    return *this;
}

JsonWriter& JsonWriter::beginArray(std::string_view key)
{
    prefix(key);
    m_out += '[';
    m_first.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray()
{
    const bool empty = m_first.back();
    m_first.pop_back();
    if (!empty) {
        m_out += '\n';
        m_out.append(2 * m_first.size(), ' ');
    }
    m_out += ']';
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view key, std::string_view text)
{
    prefix(key);
    appendQuoted(m_out, text);
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view key, std::uint64_t number)
{
    prefix(key);
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, number).ptr;
    m_out.append(buf, end);
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view key, std::int64_t number)
{
    prefix(key);
    m_out += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view key, double number)
{
    prefix(key);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", number);
    m_out += buf;
    return *this;
}

JsonWriter& JsonWriter::boolean(std::string_view key, bool flag)
{
    prefix(key);
    m_out += flag ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::null(std::string_view key)
{
    prefix(key);
    m_out += "null";
    return *this;
}

} // namespace sarvik::cli
