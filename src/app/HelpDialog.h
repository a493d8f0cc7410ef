// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's help: a page shipped inside the program, shown in a browser
// pane with a Close button.

#include <QDialog>

class QTextBrowser;

namespace sarvik::app {

class HelpDialog : public QDialog {
    Q_OBJECT
public:
    explicit HelpDialog(QWidget* parent = nullptr);
    [[nodiscard]] QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

} // namespace sarvik::app
