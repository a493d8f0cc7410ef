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
    PropertiesValues() = default;
    explicit PropertiesValues(const session::RowProperties& p)
        : name(QString::fromStdString(p.name)), size(QString::fromStdString(p.size)),
          contents(QString::fromStdString(p.contents)), created(QString::fromStdString(p.created)),
          modified(QString::fromStdString(p.modified)), folder(p.folder)
    {
    }
};

class PropertiesDialog : public QDialog {
    Q_OBJECT
public:
    PropertiesDialog(const PropertiesValues& values, QWidget* parent = nullptr);
    /// The value label of id 1011..1015 (size, name, contents, modified, created).
    [[nodiscard]] QString value(int id) const;

private:
    QLabel* m_values[5] = {};
};

} // namespace sarvik::app
