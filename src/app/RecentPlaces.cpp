// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RecentPlaces.h"

#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace sarvik::app {

namespace {

const char* const kFolderKeys[] = {"folders/diskImage", "folders/snapshot", "folders/destination"};
constexpr const char* kImagesKey = "recentImages";

std::unique_ptr<QSettings> settings()
{
    return userSettings();
}

} // namespace

std::unique_ptr<QSettings> userSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("velmora"),
                                       QStringLiteral("sarvik-undelete"));
}

RecentPlaces& RecentPlaces::instance()
{
    static RecentPlaces places;
    return places;
}

void RecentPlaces::keepInSettings()
{
    m_persistent = true;
    const auto stored = settings();
    for (int i = 0; i < 3; ++i)
        m_folders[i] = stored->value(QLatin1String(kFolderKeys[i])).toString();
    m_images = stored->value(QLatin1String(kImagesKey)).toStringList();
    while (m_images.size() > kMaxImages)
        m_images.removeLast();
}

QString RecentPlaces::folder(Place place) const
{
    const QString& kept = m_folders[static_cast<int>(place)];
    // A folder that went away (an unplugged drive) is not offered.
    return !kept.isEmpty() && QFileInfo(kept).isDir() ? kept : QString();
}

void RecentPlaces::remember(Place place, const QString& path, bool isFolder)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    m_folders[static_cast<int>(place)] = isFolder ? info.absoluteFilePath() : info.absolutePath();
    save();
}

void RecentPlaces::addImage(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_images.removeAll(absolute);
    m_images.prepend(absolute);
    while (m_images.size() > kMaxImages)
        m_images.removeLast();
    save();
}

void RecentPlaces::forgetImage(const QString& path)
{
    m_images.removeAll(path);
    save();
}

void RecentPlaces::clearImages()
{
    m_images.clear();
    save();
}

void RecentPlaces::save() const
{
    if (!m_persistent)
        return;
    const auto stored = settings();
    for (int i = 0; i < 3; ++i)
        stored->setValue(QLatin1String(kFolderKeys[i]), m_folders[i]);
    stored->setValue(QLatin1String(kImagesKey), m_images);
}

} // namespace sarvik::app
