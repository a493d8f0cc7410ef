// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folders carved files are listed in: "$Carved files" below the volume's
// root and one folder per file type below it, each added once, when its first
// file is listed.

#include "carve/FatCarve.h"
#include "carve/FileFormats.h"

#include <array>
#include <cstdint>
#include <string>

namespace sarvik::carve {

class CarvedFolders {
public:
    /// Calls `add(name, key, parentKey)` for each folder a file of `type` is
    /// listed in that has not been added yet; `rootKey` is the root folder's key.
    template <typename AddFolder> void addFor(FileType type, std::uint32_t rootKey, AddFolder add)
    {
        if (!m_carvedAdded) {
            add(std::string(kCarvedFolderName), kCarvedFolderKey, rootKey);
            m_carvedAdded = true;
        }
        const auto t = static_cast<std::size_t>(type);
        if (!m_typeAdded[t]) {
            add(std::string(typeName(type)), carvedTypeKey(type), kCarvedFolderKey);
            m_typeAdded[t] = true;
        }
    }

private:
    bool m_carvedAdded = false;
    std::array<bool, kFileTypeCount> m_typeAdded{};
};

} // namespace sarvik::carve
