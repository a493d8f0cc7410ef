#include "cli/Json.h"

#include <cstdio>

namespace sarvik::cli {

std::string JsonWriter::quote(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
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
        default:
            if (byte < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", byte);
                out += buf;
            } else {
                out.push_back(c);
            }
        }
    }
    out += '"';
    return out;
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
        m_out += quote(key);
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
    m_out += quote(text);
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view key, std::uint64_t number)
{
    prefix(key);
    m_out += std::to_string(number);
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
