// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DeepSearchBar.h"

#include "ui/PercentProgressBar.h"
#include "ui/PictureButton.h"
#include "ui/Skin.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace sarvik::app {

namespace {
constexpr int kStopSide = 26;
} // namespace

DeepSearchBar::DeepSearchBar(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("deepSearchBar"));
    setAutoFillBackground(false);

    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("deepSearchText"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    QFont small = m_text->font();
    small.setPixelSize(11); // the list's own size
    m_text->setFont(small);
    m_text->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    m_progress = new ui::PercentProgressBar(this);
    m_progress->setRange(0, 100);
    m_progress->setFixedHeight(14);

    m_search = new QPushButton(tr("&Deep Search"), this);
    m_search->setObjectName(QStringLiteral("deepSearchButton"));
    m_search->setToolTip(tr("Searches the free space for lost folders and for files by their content"));
    m_search->setAutoDefault(false);
    connect(m_search, &QPushButton::clicked, this, &DeepSearchBar::searchClicked);

    m_stop = new ui::PictureButton(this);
    m_stop->setFixedSize(kStopSide, kStopSide);
    m_stop->setPictures(ui::navPicture(ui::NavPicture::Stop, m_stop->size(), false),
                        ui::navPicture(ui::NavPicture::Stop, m_stop->size(), true));
    m_stop->setToolTip(tr("Stops the deep search; what it found so far is kept"));
    m_stop->setTakesFocus(true);
    connect(m_stop, &QAbstractButton::clicked, this, &DeepSearchBar::stopClicked);

    m_close = new QToolButton(this);
    m_close->setAutoRaise(true);
    m_close->setIcon(QApplication::style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_close->setToolTip(tr("Hide this note"));
    connect(m_close, &QToolButton::clicked, this, &DeepSearchBar::dismiss);
    m_text->setAccessibleName(tr("Deep search"));
    m_stop->setAccessibleName(tr("Stop deep search"));
    m_stop->setAccessibleDescription(m_stop->toolTip());
    m_close->setAccessibleName(tr("Hide this note"));

    auto* lines = new QVBoxLayout;
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(2);
    lines->addWidget(m_text, 1);
    lines->addWidget(m_progress);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 2, 4, 2);
    row->setSpacing(6);
    row->addLayout(lines, 1);
    row->addWidget(m_search, 0, Qt::AlignVCenter);
    row->addWidget(m_stop, 0, Qt::AlignVCenter);
    row->addWidget(m_close, 0, Qt::AlignVCenter);
    hide();
}

void DeepSearchBar::setMode(Mode mode)
{
    m_mode = mode;
    m_text->setForegroundRole(mode == Mode::Offer ? QPalette::ToolTipText : QPalette::Text);
    update();
    m_search->setVisible(mode == Mode::Offer);
    m_progress->setVisible(mode == Mode::Running);
    m_stop->setVisible(mode == Mode::Running);
    m_stop->setEnabled(mode == Mode::Running);
    m_close->setVisible(mode == Mode::Offer || mode == Mode::Outcome);
    setVisible(mode != Mode::Hidden);
    emit modeChanged();
}

void DeepSearchBar::showOffer(const QString& text)
{
    m_text->setText(text);
    m_text->setToolTip(text);
    setMode(Mode::Offer);
}

void DeepSearchBar::showRunning()
{
    m_text->setText(tr("Deep search: starting"));
    m_text->setToolTip(QString());
    m_progress->setValue(0);
    setMode(Mode::Running);
}

void DeepSearchBar::setStatus(const QString& status)
{
    if (m_mode == Mode::Running && !status.isEmpty())
        m_text->setText(tr("Deep search: ") + status);
}

void DeepSearchBar::setProgress(int percent)
{
    if (m_mode == Mode::Running)
        m_progress->setValue(std::clamp(percent, 0, 100));
}

void DeepSearchBar::showOutcome(const QString& text)
{
    m_text->setText(text);
    m_text->setToolTip(text);
    setMode(Mode::Outcome);
}

void DeepSearchBar::dismiss()
{
    if (m_mode != Mode::Hidden && m_mode != Mode::Running)
        setMode(Mode::Hidden);
}

void DeepSearchBar::clear()
{
    if (m_mode != Mode::Hidden)
        setMode(Mode::Hidden);
}

void DeepSearchBar::paintEvent(QPaintEvent*)
{
    // The banner asks to be looked at; progress and outcome are quieter.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    const bool offer = m_mode == Mode::Offer;
    painter.setPen(colours.color(offer ? QPalette::Highlight : QPalette::Mid));
    painter.setBrush(colours.color(offer ? QPalette::ToolTipBase : QPalette::AlternateBase));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

} // namespace sarvik::app
