#pragma once
// The strip under the preview: a found file's clusters in the order the copy
// reads them, one colour per state (recovery::ClusterState), each part as wide
// as its share of the file. Hovering a part names its clusters.

#include "recovery/Condition.h"

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
    [[nodiscard]] const std::vector<recovery::ClusterPart>& parts() const { return m_parts; }
    /// Clusters in parts of `state`.
    [[nodiscard]] std::uint64_t clusters(recovery::ClusterState state) const;
    /// What the tooltip says at `x` (empty where nothing is drawn).
    [[nodiscard]] QString partText(int x) const;

    [[nodiscard]] static QColor colour(recovery::ClusterState state);
    [[nodiscard]] static QString stateText(recovery::ClusterState state);
    [[nodiscard]] QSize sizeHint() const override { return {200, 18}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    /// The part drawn at `x`, or nothing.
    [[nodiscard]] const recovery::ClusterPart* partAt(int x) const;
    /// Left edge of the part that starts `before` clusters into the file.
    [[nodiscard]] int edge(std::uint64_t before) const;

    std::vector<recovery::ClusterPart> m_parts;
    std::uint64_t m_total = 0;
    bool m_known = false;
};

} // namespace sarvik::app
