#include "app/FileTypes.h"

#include "catalogue/NameText.h"

#include <QDir>
#include <QFileInfo>

namespace sarvik::app {

QString FileTypes::typeName(const QString& name) const
{
    return m_mimes.mimeTypeForFile(name, QMimeDatabase::MatchExtension).comment();
}

std::string FileTypes::typeNameOf8Bit(const std::string& name) const
{
    return typeName(QString::fromStdString(catalogue::toUtf8(name))).toStdString();
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
    const QIcon icon = QIcon::fromTheme(QStringLiteral("folder"));
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

std::string toDiskName(const QString& text)
{
    // The inverse of catalogue::toUtf8, built from it so that the two agree.
    static const QHash<char32_t, char> table = [] {
        QHash<char32_t, char> t;
        for (int b = 0; b < 256; ++b) {
            const std::string one(1, static_cast<char>(b));
            const QString s = QString::fromStdString(catalogue::toUtf8(one));
            const auto units = s.toUcs4();
            if (units.size() == 1)
                t.insert(units.front(), static_cast<char>(b));
        }
        return t;
    }();
    std::string out;
    for (char32_t c : text.toUcs4())
        out.push_back(table.value(c, '_'));
    return out;
}

} // namespace sarvik::app
