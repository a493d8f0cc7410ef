// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Selection.h"

#include "catalogue/FileList.h"
#include "catalogue/NameText.h"
#include "cli/Session.h"
#include "cli/TimeText.h"
#include "recovery/OriginalTimes.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sarvik::cli {

FileFacts fileFacts(const scan::ScanSession& session, std::size_t fileIndex)
{
    const catalogue::Entry e = session.catalogue.entry(catalogue::fileEntryId(fileIndex));
    // --id names a FAT or exFAT file by its entry's address, an NTFS file by its record.
    const std::uint64_t id = session.kind() == catalogue::CatalogueKind::Fat ? e.entryAddress : e.number;
    return {id, e.number, e.size, recovery::entryTimeToUnix(e.times.modified)};
}

std::optional<std::uint64_t> parseSize(const std::string& text)
{
    // Digits, at most one decimal point, then the unit: "1e3", "0x10", " 12"
    // and "inf" are not sizes anyone means.
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front())))
        return std::nullopt;
    const std::size_t digits = text.find_first_not_of("0123456789.");
    const std::string figures = text.substr(0, digits);
    if (std::count(figures.begin(), figures.end(), '.') > 1 || figures.back() == '.')
        return std::nullopt;
    char* end = nullptr;
    const double number = std::strtod(figures.c_str(), &end);
    const std::string unit = digits == std::string::npos ? std::string{} : text.substr(digits);
    double scale = 1;
    if (unit == "K" || unit == "k" || unit == "KB" || unit == "KiB")
        scale = 1024.0;
    else if (unit == "M" || unit == "m" || unit == "MB" || unit == "MiB")
        scale = 1024.0 * 1024.0;
    else if (unit == "G" || unit == "g" || unit == "GB" || unit == "GiB")
        scale = 1024.0 * 1024.0 * 1024.0;
    else if (!unit.empty() && unit != "B")
        return std::nullopt;
    if (end != figures.c_str() + figures.size() || !std::isfinite(number) || number * scale > 1.8e19)
        return std::nullopt;
    return static_cast<std::uint64_t>(std::llround(number * scale));
}

std::optional<std::string> Selection::read(const ParsedArgs& args)
{
    m_filters = args.values("filter");
    for (const char* name : {"min-size", "max-size"})
        if (const auto text = args.value(name)) {
            const auto size = parseSize(*text);
            if (!size)
                return "--" + std::string(name) + " takes a size such as 4096, 64K, 1.5M or 2G, not '" + *text + "'";
            (std::string(name) == "min-size" ? m_minSize : m_maxSize) = size;
        }
    for (const char* name : {"since", "until"})
        if (const auto text = args.value(name)) {
            const auto time = parseTime(*text, std::string(name) == "until");
            if (!time)
                return "--" + std::string(name) + " takes a time such as 2024-03-01 or '2024-03-01 14:30', not '" +
                       *text + "'";
            (std::string(name) == "since" ? m_since : m_until) = time;
        }
    for (const std::string& text : args.values("id")) {
        std::uint64_t id = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
        if (text.empty() || error != std::errc() || end != text.data() + text.size())
            return "--id takes a record number or entry address, not '" + text + "'";
        m_ids.push_back(id);
    }
    return std::nullopt;
}

std::optional<std::string> Selection::applyFilters(scan::ScanSession& session) const
{
    for (const std::string& f : m_filters) {
        const auto forms = typedPathForms(f);
        if (const auto r = session.filters.add(catalogue::nameFromUtf8(f, session.catalogue.NamesAreUtf8));
            r != search::AddPatternResult::Added)
            return "filter '" + f + "': " + search::addPatternMessage(r);
        // A pattern copied from a listing: what its escapes stand for passes too.
        if (forms.size() > 1)
            (void)session.filters.add(catalogue::nameFromUtf8(forms.back(), session.catalogue.NamesAreUtf8));
    }
    return std::nullopt;
}

std::optional<std::string> Selection::checkSession(const scan::ScanSession& session) const
{
    if (!m_ids.empty() && session.kind() == catalogue::CatalogueKind::Fat && !session.catalogue.FatEntryOrigins)
        return std::string("--id: this snapshot keeps no FAT entry addresses; scan the volume instead");
    return std::nullopt;
}

bool Selection::limits() const noexcept
{
    return m_minSize || m_maxSize || m_since || m_until || !m_ids.empty();
}

bool Selection::passesLimits(const scan::ScanSession& session, std::size_t fileIndex) const
{
    if (!limits())
        return true;
    const FileFacts f = fileFacts(session, fileIndex);
    if ((m_minSize && f.size < *m_minSize) || (m_maxSize && f.size > *m_maxSize))
        return false;
    if ((m_since || m_until) && !f.modified)
        return false;
    if ((m_since && *f.modified < *m_since) || (m_until && *f.modified > *m_until))
        return false;
    if (!m_ids.empty() && std::find(m_ids.begin(), m_ids.end(), f.id) == m_ids.end())
        return false;
    return true;
}

bool Selection::passes(const scan::ScanSession& session, std::size_t fileIndex) const
{
    if (!passesLimits(session, fileIndex))
        return false;
    const auto& c = session.catalogue;
    return session.filters.empty() ||
           session.filters.passes(std::string(c.entry(catalogue::fileEntryId(fileIndex)).name), c.NamesAreUtf8);
}

} // namespace sarvik::cli
