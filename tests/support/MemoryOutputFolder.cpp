// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/MemoryOutputFolder.h"

#include <algorithm>

namespace sarvik::recovery {

class MemoryOutputFile final : public OutputFile {
public:
    MemoryOutputFile(std::shared_ptr<MemoryOutputFolder> folder, std::string name)
        : m_folder(std::move(folder)), m_name(std::move(name))
    {
    }
    ~MemoryOutputFile() override { release(); }
    bool write(disk::ByteSpan bytes) override
    {
        auto it = m_folder->m_entries.find(m_name);
        if (it == m_folder->m_entries.end())
            return false;
        const std::size_t take = std::min(bytes.size(), m_folder->m_writeBudget);
        it->second.bytes.insert(it->second.bytes.end(), bytes.begin(),
                                bytes.begin() + static_cast<std::ptrdiff_t>(take));
        m_folder->m_writeBudget -= take;
        return take == bytes.size();
    }
    bool writeHole(std::uint64_t count) override
    {
        auto it = m_folder->m_entries.find(m_name);
        if (it == m_folder->m_entries.end())
            return false;
        MemoryOutputFolder::Entry& e = it->second;
        const std::uint64_t at = e.bytes.size();
        if (!e.holes.empty() && e.holes.back().offset + e.holes.back().length == at)
            e.holes.back().length += count;
        else if (count != 0)
            e.holes.push_back({at, count});
        e.bytes.resize(e.bytes.size() + static_cast<std::size_t>(count));
        return true;
    }
    bool close() override
    {
        release();
        return true;
    }
    [[nodiscard]] std::optional<std::uint64_t> length() const override
    {
        const auto it = m_folder->m_entries.find(m_name);
        return it == m_folder->m_entries.end() ? std::nullopt : std::optional<std::uint64_t>(it->second.bytes.size());
    }

private:
    void release()
    {
        if (auto it = m_folder->m_entries.find(m_name); it != m_folder->m_entries.end())
            it->second.open = false;
    }
    std::shared_ptr<MemoryOutputFolder> m_folder;
    std::string m_name;
};

bool MemoryOutputFolder::exists(std::string_view name) const
{
    ++m_existsCalls;
    return m_entries.find(name) != m_entries.end();
}

std::shared_ptr<OutputFolder> MemoryOutputFolder::makeFolder(std::string_view name)
{
    if (!isSafeComponent(name))
        return nullptr;
    auto it = m_entries.find(name);
    if (it == m_entries.end()) {
        if (refused(name))
            return nullptr;
        Entry e;
        e.kind = Kind::Folder;
        e.folder = std::make_shared<MemoryOutputFolder>(m_path + "/" + std::string(name));
        e.folder->m_writeBudget = m_writeBudget;
        e.folder->m_refusedCharacters = m_refusedCharacters;
        it = m_entries.emplace(std::string(name), std::move(e)).first;
    }
    if (it->second.kind != Kind::Folder)
        return nullptr;
    return it->second.folder;
}

std::string MemoryOutputFolder::rename(std::string_view from, std::string_view to, bool replace)
{
    if (!isSafeComponent(from) || !isSafeComponent(to))
        return "not a name of this folder";
    const auto source = m_entries.find(from);
    if (source == m_entries.end() || source->second.kind != Kind::File || source->second.open)
        return "no closed file of that name";
    if (const auto target = m_entries.find(to); target != m_entries.end()) {
        if (!replace)
            return "File exists";
        if (target->second.kind != Kind::File)
            return "not a plain file of its own";
        m_entries.erase(target);
    }
    auto node = m_entries.extract(source);
    node.key() = std::string(to);
    m_entries.insert(std::move(node));
    return {};
}

bool MemoryOutputFolder::setTimes(std::string_view name, const EntryTimes& times)
{
    const auto it = m_entries.find(name);
    if (it == m_entries.end() || it->second.kind == Kind::Link || it->second.open)
        return false;
    it->second.times = times;
    return true;
}

std::unique_ptr<OutputFile> MemoryOutputFolder::createFile(std::string_view name, bool replace)
{
    if (!isSafeComponent(name) || refused(name))
        return nullptr;
    auto it = m_entries.find(name);
    if (it != m_entries.end()) {
        if (!replace || it->second.kind != Kind::File)
            return nullptr;
        it->second.bytes.clear();
        it->second.holes.clear();
    } else {
        it = m_entries.emplace(std::string(name), Entry{}).first;
    }
    it->second.open = true;
    return std::make_unique<MemoryOutputFile>(shared_from_this(), std::string(name));
}

void MemoryOutputFolder::plantLink(const std::string& name, std::string target)
{
    Entry e;
    e.kind = Kind::Link;
    e.target = std::move(target);
    m_entries[name] = std::move(e);
}

const MemoryOutputFolder::Entry* MemoryOutputFolder::find(const std::string& path) const
{
    const std::size_t slash = path.find('/');
    const auto it = m_entries.find(std::string_view(path).substr(0, slash));
    if (it == m_entries.end())
        return nullptr;
    if (slash == std::string::npos)
        return &it->second;
    if (it->second.kind != Kind::Folder)
        return nullptr;
    return it->second.folder->find(path.substr(slash + 1));
}

std::vector<std::string> MemoryOutputFolder::paths() const
{
    std::vector<std::string> out;
    for (const auto& [name, e] : m_entries) {
        out.push_back(name);
        if (e.kind == Kind::Folder)
            for (const auto& sub : e.folder->paths())
                out.push_back(name + "/" + sub);
    }
    return out;
}

} // namespace sarvik::recovery
