// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ColourScheme.h"

#include "ui/Skin.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStyle>
#include <QStyleHints>

namespace sarvik::app {

namespace {

struct SystemLook {
    QString style;
    QPalette palette; ///< to tell whether the system's palette is dark already
    bool known = false;
};

SystemLook& systemLook()
{
    static SystemLook look;
    return look;
}

ColourScheme g_scheme = ColourScheme::System;

void noteSystemLook()
{
    SystemLook& look = systemLook();
    if (look.known)
        return;
    look.style = QApplication::style()->name();
    look.palette = QApplication::palette();
    look.known = true;
}

#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
/// What the desktop portal's appearance setting says, asked once: Qt before
/// 6.5 does not read it. No portal (no session bus, a desktop without one)
/// says nothing.
bool portalAsksForDark()
{
    static const bool dark = [] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return false;
        QDBusMessage read = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
            QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
        read << QStringLiteral("org.freedesktop.appearance") << QStringLiteral("color-scheme");
        const QDBusMessage reply = bus.call(read, QDBus::Block, 500);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return false;
        return portalValueAsksForDark(reply.arguments().constFirst());
    }();
    return dark;
}
#endif

/// Whether the desktop asks for dark colours: Qt 6.5 and later can tell; before,
/// the desktop portal's setting or a GTK theme named dark ("Adwaita:dark").
bool systemAsksForDark()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QGuiApplication::styleHints()->colorScheme() == Qt::ColorScheme::Dark;
#else
    return gtkThemeAsksForDark(qEnvironmentVariable("GTK_THEME")) || portalAsksForDark();
#endif
}

void followSystemChanges()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    static bool following = false;
    if (following)
        return;
    following = true;
    QObject::connect(QGuiApplication::styleHints(), &QStyleHints::colorSchemeChanged, qApp, [] {
        if (g_scheme == ColourScheme::System)
            applyColourScheme(ColourScheme::System);
    });
#endif
}

void useStyle(const QString& name)
{
    if (QApplication::style()->name().compare(name, Qt::CaseInsensitive) != 0)
        QApplication::setStyle(name);
}

} // namespace

bool portalValueAsksForDark(const QVariant& value)
{
    // Settings.Read answers a variant that holds the value's own variant.
    QVariant inner = value;
    for (int depth = 0; depth < 4 && inner.canConvert<QDBusVariant>(); ++depth)
        inner = inner.value<QDBusVariant>().variant();
    bool isNumber = false;
    const uint scheme = inner.toUInt(&isNumber);
    return isNumber && scheme == 1; // 0: no preference, 1: dark, 2: light
}

bool gtkThemeAsksForDark(const QString& theme)
{
    return theme.endsWith(QStringLiteral(":dark"), Qt::CaseInsensitive) ||
           theme.endsWith(QStringLiteral("-dark"), Qt::CaseInsensitive);
}

void applyColourScheme(ColourScheme scheme)
{
    noteSystemLook();
    followSystemChanges();
    g_scheme = scheme;
    const SystemLook& look = systemLook();
    // A desktop that asks for dark colours through a style that draws light
    // ones gets the dark Fusion palette.
    const bool darkAsked = scheme == ColourScheme::Dark ||
                           (scheme == ColourScheme::System && systemAsksForDark() && !ui::paletteIsDark(look.palette));
    if (darkAsked) {
        useStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(darkPalette());
    } else if (scheme == ColourScheme::Light) {
        useStyle(QStringLiteral("Fusion"));
        QApplication::setPalette(QApplication::style()->standardPalette());
    } else {
        // A palette that sets no colour: the system's again, and it follows the
        // desktop's later changes as it did before any was set.
        useStyle(look.style);
        QApplication::setPalette(QPalette());
    }
}

ColourScheme colourScheme()
{
    return g_scheme;
}

QString colourSchemeName(ColourScheme scheme)
{
    switch (scheme) {
    case ColourScheme::Light:
        return QStringLiteral("light");
    case ColourScheme::Dark:
        return QStringLiteral("dark");
    case ColourScheme::System:
        break;
    }
    return QStringLiteral("system");
}

ColourScheme colourSchemeFromName(const QString& name)
{
    if (name == QLatin1String("light"))
        return ColourScheme::Light;
    if (name == QLatin1String("dark"))
        return ColourScheme::Dark;
    return ColourScheme::System;
}

QPalette darkPalette()
{
    const QColor window(0x2b, 0x2d, 0x31);
    const QColor base(0x1e, 0x1f, 0x22);
    const QColor text(0xe6, 0xe6, 0xe6);
    const QColor muted(0x80, 0x84, 0x8a);
    const QColor highlight(0x3d, 0x7a, 0xd6);
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, muted);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xff, 0x6b, 0x6b));
    p.setColor(QPalette::Light, window.lighter(150));
    p.setColor(QPalette::Midlight, window.lighter(125));
    p.setColor(QPalette::Mid, window.darker(120));
    p.setColor(QPalette::Dark, window.darker(150));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, QColor(0x6c, 0xa8, 0xff));
    p.setColor(QPalette::LinkVisited, QColor(0xb0, 0x8c, 0xf0));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, muted);
    p.setColor(QPalette::Disabled, QPalette::Highlight, window.lighter(130));
    return p;
}

} // namespace sarvik::app
