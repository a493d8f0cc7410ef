// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "File/Folder Properties": a row's name, size and dates and, for a folder,
// what it holds (session/Properties.h counts them).

#include "session/Properties.h"

#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;

namespace sarvik::app {

/// The box's texts, as session::rowProperties gives them.
struct PropertiesValues {
    QString name, size, contents, created, modified;
    bool folder = false;
    /// The rows after those: exact size, path, condition, clusters and whole times.
    QString bytes, path, condition, clusters, createdTime, modifiedTime, accessedTime, changedTime;
    PropertiesValues() = default;
    explicit PropertiesValues(const session::RowProperties& p);
};

class PropertiesDialog : public QDialog {
    Q_OBJECT
public:
    PropertiesDialog(const PropertiesValues& values, QWidget* parent = nullptr);
    /// The value label of id 1011..1015 (size, name, contents, modified, created).
    [[nodiscard]] QString value(int id) const;
    /// The rows below those five, in order; an empty value's row is hidden.
    enum class Extra { Bytes, Path, Condition, Clusters, Created, Modified, Accessed, Changed, Count };
    /// The value of row `row` (empty when hidden).
    [[nodiscard]] QString extra(Extra row) const;

private:
    QLabel* m_values[5] = {};
    QLabel* m_extras[static_cast<int>(Extra::Count)] = {};
};

} // namespace sarvik::app
