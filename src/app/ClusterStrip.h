// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The strip under the preview: session::ClusterStripParts painted, one colour
// per state (recovery::ClusterState). Hovering a part names its clusters.

#include "session/ClusterStripParts.h"

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace sarvik::app {

class ClusterStrip : public QWidget {
    Q_OBJECT
public:
    explicit ClusterStrip(QWidget* parent = nullptr);

    /// The parts to draw; nothing clears the strip (the estimate is unknown).
    void setParts(std::optional<std::vector<recovery::ClusterPart>> parts);
    [[nodiscard]] const std::vector<recovery::ClusterPart>& parts() const { return m_strip.parts(); }
    /// Clusters in parts of `state`.
    [[nodiscard]] std::uint64_t clusters(recovery::ClusterState state) const { return m_strip.clusters(state); }
    /// What the tooltip says at `x` (empty where nothing is drawn).
    [[nodiscard]] QString partText(int x) const;

    [[nodiscard]] static QColor colour(recovery::ClusterState state);
    [[nodiscard]] static QString stateText(recovery::ClusterState state);
    [[nodiscard]] QSize sizeHint() const override { return {200, 18}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    session::ClusterStripParts m_strip;
};

} // namespace sarvik::app
