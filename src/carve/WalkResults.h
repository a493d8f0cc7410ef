// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers the format walkers share to say how a walk ended.

#include "carve/FileFormats.h"

#include <string>

namespace sarvik::carve::walk {

inline WalkResult whole(std::uint64_t length, std::string extension)
{
    return {WalkStatus::Whole, length, std::move(extension)};
}

/// The walk broke off at `length`: incomplete when the file's own structure was
/// seen before that (`structured`), else not the format at all.
inline WalkResult broken(bool structured, std::uint64_t length, std::string extension)
{
    if (!structured || length == 0)
        return {};
    return {WalkStatus::Incomplete, length, std::move(extension)};
}

} // namespace sarvik::carve::walk
