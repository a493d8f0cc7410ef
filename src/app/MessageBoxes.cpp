// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MessageBoxes.h"

#include "app/ValueWords.h"

#include "catalogue/Catalogue.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

namespace sarvik::app {

namespace {

QStyle::StandardPixmap iconFor(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Error:
        return QStyle::SP_MessageBoxCritical;
    case MessageKind::Question:
        return QStyle::SP_MessageBoxQuestion;
    case MessageKind::Information:
        break;
    }
    return QStyle::SP_MessageBoxInformation;
}

} // namespace

MessageBox::MessageBox(QWidget* parent, MessageKind kind, const QString& text, bool question, const QString& details)
    : QDialog(parent), m_kind(kind), m_text(new QLabel(systemReasonWords(text), this))
{
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    setModal(true);
    auto* icon = new QLabel(this);
    const int side = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(iconFor(kind), nullptr, this).pixmap(side, side));
    icon->setAlignment(Qt::AlignTop);
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setMinimumWidth(280);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(10);
    top->addWidget(m_text, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    if (question) {
        auto* yes = new QPushButton(tr("&Yes"), this);
        auto* no = new QPushButton(tr("&No"), this);
        yes->setObjectName(QStringLiteral("yes"));
        no->setObjectName(QStringLiteral("no"));
        yes->setDefault(true);
        connect(yes, &QPushButton::clicked, this, [this] { done(kYes); });
        connect(no, &QPushButton::clicked, this, [this] { done(kNo); });
        buttons->addWidget(yes);
        buttons->addWidget(no);
    } else {
        auto* ok = new QPushButton(tr("&Ok"), this);
        ok->setObjectName(QStringLiteral("ok"));
        ok->setDefault(true);
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
        buttons->addWidget(ok);
    }
    if (!details.isEmpty()) {
        m_details = new QPlainTextEdit(systemReasonWords(details), this);
        m_details->setObjectName(QStringLiteral("details"));
        m_details->setReadOnly(true);
        // As wide as its longest line, up to most of the screen; a longer line
        // wraps rather than hiding its end.
        int longest = 0;
        const QFontMetrics metrics(m_details->font());
        for (const QString& line : m_details->toPlainText().split(QLatin1Char('\n')))
            longest = std::max(longest, metrics.horizontalAdvance(line));
        const int screenWidth = screen() != nullptr ? screen()->availableGeometry().width() : 1024;
        m_details->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        m_details->setMinimumSize(std::clamp(longest + 40, 520, std::max(520, screenWidth * 4 / 5)), 200);
        m_details->hide();
        auto* more = new QPushButton(tr("&Details"), this);
        more->setObjectName(QStringLiteral("showDetails"));
        more->setCheckable(true);
        // The box grows or shrinks about its centre, so that it stays centred on
        // the window rather than growing off to the right and down.
        connect(more, &QPushButton::toggled, this, [this](bool shown) {
            const QPoint centre = geometry().center();
            m_details->setVisible(shown);
            adjustSize();
            QRect placed = geometry();
            placed.moveCenter(centre);
            move(placed.topLeft());
        });
        buttons->addWidget(more);
    }
    buttons->addStretch();
    m_buttons = buttons;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(buttons);
    if (m_details != nullptr)
        layout->addWidget(m_details, 1);
    setSizeGripEnabled(m_details != nullptr);
}

QPushButton* MessageBox::addButton(const QString& text, const QString& objectName)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    m_buttons->insertWidget(m_buttons->count() - 1, button); // before the closing stretch
    return button;
}

QString MessageBox::details() const
{
    return m_details != nullptr ? m_details->toPlainText() : QString();
}

QString MessageBox::text() const
{
    return m_text->text();
}

void MessageDialog(QWidget* parent, MessageKind kind, const QString& text, const QString& details)
{
    MessageBox box(parent, kind, text, false, details);
    box.exec();
}

void OutOfMemoryEnd(QWidget* parent)
{
    MessageDialog(parent, MessageKind::Error, QString::fromLatin1(catalogue::kOutOfMemoryMessage));
    std::_Exit(0); // as at Exit: nothing more is run, nothing is saved
}

int QuestionDialog(QWidget* parent, const QString& text, MessageKind kind)
{
    MessageBox box(parent, kind, text, true);
    const int result = box.exec();
    return result == kYes ? kYes : kNo;
}

void layOutInformationBox(QDialog* dialog, QLayout* grid, int spacing)
{
    // A Cancel button is made and hidden so that the box keeps the standard
    // button order and style; Escape rejects the box as in any dialog.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(MessageBox::tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->hide();
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->addLayout(grid);
    layout->addSpacing(spacing);
    layout->addWidget(buttons);
}

} // namespace sarvik::app

namespace sarvik::app {

namespace {

/// Widens each dialog that shows to its title's width.
class TitleFit final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QDialog*>(watched); dialog != nullptr && dialog->isWindow()) {
                const int screenWidth =
                    dialog->screen() != nullptr ? dialog->screen()->availableGeometry().width() : 1024;
                const int wanted = std::min(titleWidth(dialog), screenWidth - 16);
                if (dialog->width() < wanted)
                    dialog->resize(wanted, dialog->height());
            }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void keepDialogTitlesWhole(QObject* application)
{
    application->installEventFilter(new TitleFit(application));
}

int titleWidth(const QWidget* window)
{
    // The desktop adds the program's name ("Title — Velmora Sarvik Undelete") and
    // draws it in a bold face, beside its icon and buttons.
    QString shown = window->windowTitle();
    shown.remove(QStringLiteral("[*]"));
    const QString name = QGuiApplication::applicationDisplayName();
    if (!name.isEmpty() && shown != name)
        shown += QStringLiteral(" \u2014 ") + name;
    QFont bold = QApplication::font("QMdiSubWindowTitleBar");
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(shown) + 160;
}

} // namespace sarvik::app
