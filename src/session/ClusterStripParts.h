// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The strip under a preview: a found file's clusters in the order the copy
// reads them, each part as wide as its share of the file and at least one
// pixel, and what hovering a part says of it. A front end paints the spans.

#include "recovery/Condition.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sarvik::session {

class ClusterStripParts {
public:
    /// The parts to show; nothing when the estimate is unknown.
    void setParts(std::optional<std::vector<recovery::ClusterPart>> parts);
    [[nodiscard]] const std::vector<recovery::ClusterPart>& parts() const { return m_parts; }
    [[nodiscard]] bool known() const { return m_known; }
    /// Clusters in all parts, and in parts of `state`.
    [[nodiscard]] std::uint64_t total() const { return m_total; }
    [[nodiscard]] std::uint64_t clusters(recovery::ClusterState state) const;

    /// Where part `index` lies on a strip `width` pixels wide: [left, right).
    struct Span {
        int left = 0, right = 0;
    };
    [[nodiscard]] Span span(std::size_t index, int width) const;
    /// The part drawn at `x` on a strip `width` pixels wide, or null.
    [[nodiscard]] const recovery::ClusterPart* partAt(int x, int width) const;
    /// What the strip says at `x` ("Clusters 10 to 19 (10): claimed since by
    /// another file"); empty where nothing is drawn. `count` writes numbers.
    [[nodiscard]] std::string partText(int x, int width, const std::function<std::string(std::uint64_t)>& count) const;
    /// What a state means, for the tooltip and a legend.
    [[nodiscard]] static std::string stateText(recovery::ClusterState state);
    /// The strip's text when no part is drawn ("Clusters not known"); empty when parts are drawn.
    [[nodiscard]] std::string emptyText() const;

private:
    /// Left edge of the part that starts `before` clusters into the file.
    [[nodiscard]] int edge(std::uint64_t before, int width) const;

    std::vector<recovery::ClusterPart> m_parts;
    std::vector<std::uint64_t> m_before; ///< clusters before each part
    std::uint64_t m_total = 0;
    bool m_known = false;
};

} // namespace sarvik::session
