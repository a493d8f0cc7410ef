#include "cli/Json.h"

namespace sarvik::cli {

std::string jsonText(const Json& value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
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

JsonStream& JsonStream::members(const Json& members)
{
    for (const auto& [key, member] : members.items())
        value(key, member);
    return *this;
}

} // namespace sarvik::cli
