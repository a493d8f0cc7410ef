// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FileTypes.h"

#include "catalogue/NameText.h"
#include "session/DisplayText.h"

#include <QDir>
#include <QFileInfo>

namespace sarvik::app {

QString FileTypes::typeName(const QString& name) const
{
    return m_mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension).comment();
}

std::string FileTypes::typeNameOfName(const std::string& name, bool namesAreUtf8) const
{
    return typeName(nameText(name, namesAreUtf8)).toStdString();
}

QIcon FileTypes::fileIcon(const QString& name)
{
    const QMimeType mime = m_mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    auto found = m_icons.constFind(mime.name());
    if (found != m_icons.constEnd())
        return *found;
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(mime.genericIconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    m_icons.insert(mime.name(), icon);
    return icon;
}

QIcon FileTypes::folderIcon()
{
    const QString key = QStringLiteral("inode/directory");
    auto found = m_icons.constFind(key);
    if (found != m_icons.constEnd())
        return *found;
    QIcon icon = QIcon::fromTheme(QStringLiteral("folder"));
    m_icons.insert(key, icon);
    return icon;
}

void useSystemIconTheme()
{
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir : {QStringLiteral("/usr/share/icons"), QStringLiteral("/usr/local/share/icons")})
        if (!paths.contains(dir) && QFileInfo(dir).isDir())
            paths << dir;
    QIcon::setThemeSearchPaths(paths);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

} // namespace sarvik::app

namespace sarvik::app {

std::string toDiskName(const QString& text, bool namesAreUtf8)
{
    return catalogue::nameFromUtf8(text.toStdString(), namesAreUtf8);
}

QString nameText(const std::string& name, bool namesAreUtf8)
{
    return QString::fromStdString(session::displayName(name, namesAreUtf8));
}

} // namespace sarvik::app
