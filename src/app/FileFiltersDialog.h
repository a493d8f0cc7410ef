// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "File Filters": edits the file-filter patterns of the session. The list box
// shows the newest pattern first; the table keeps the order of adding.

#include "search/NamePatterns.h"

#include <QDialog>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace sarvik::app {

class FileFiltersDialog : public QDialog {
    Q_OBJECT
public:
    /// `namesAreUtf8`: the catalogue's names, and so the patterns, are UTF-8.
    FileFiltersDialog(search::FilterPatterns& patterns, bool namesAreUtf8, QWidget* parent = nullptr);

    [[nodiscard]] QLineEdit* patternEdit() const { return m_edit; }
    [[nodiscard]] QListWidget* patternList() const { return m_list; }
    [[nodiscard]] QPushButton* addButton() const { return m_add; }
    [[nodiscard]] QPushButton* removeButton() const { return m_remove; }
    [[nodiscard]] QPushButton* closeButton() const { return m_close; }

    void add();
    void remove();

private:
    search::FilterPatterns& m_patterns;
    bool m_namesAreUtf8 = false;
    QLineEdit* m_edit = nullptr;
    QListWidget* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace sarvik::app
