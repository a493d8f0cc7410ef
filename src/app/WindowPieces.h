// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small pieces that the main window's pages share: the transparent labels on
// the skin, theme icons with a fallback, the trees' common set-up and the item
// data roles of the drive and folder trees.

#include <QApplication>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QStyle>
#include <QTreeWidget>

namespace sarvik::app::pieces {

// The trees' width at the default font, in pixels.
inline constexpr int kTreeWidth = 223;

inline constexpr int kDriveIndexRole = Qt::UserRole + 1;
inline constexpr int kHandleRole = Qt::UserRole + 2;

inline QString blanks(int n)
{
    return QString(n, QLatin1Char(' '));
}

inline QLabel* transparentLabel(QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

// A label is shown again after its text changes so the skin behind it is redrawn.
inline void reshow(QLabel* label, const QString& text)
{
    label->hide();
    label->setText(text);
    label->show();
}

inline void hideEmpty(QLabel* label)
{
    label->hide();
    label->clear();
}

inline QIcon themeIcon(const char* name, QStyle::StandardPixmap fallback)
{
    QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    return icon.isNull() ? QApplication::style()->standardIcon(fallback) : icon;
}

/// The drive tree and the folder tree share a place and their looks; `filter`
/// sees the presses and keys of both.
inline QTreeWidget* pageTree(QWidget* panel, QObject* filter)
{
    auto* tree = new QTreeWidget(panel);
    tree->setFixedWidth(kTreeWidth);
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    tree->setIconSize(QSize(16, 16));
    tree->setExpandsOnDoubleClick(true);
    tree->viewport()->installEventFilter(filter);
    tree->installEventFilter(filter);
    // Whole names: a long one scrolls sideways instead of being cut.
    tree->header()->setStretchLastSection(false);
    tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    return tree;
}

} // namespace sarvik::app::pieces
