// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the user last was: the folder each kind of file dialog last took a
// file from or gave one to, and the disk images opened lately. Kept for the
// session, and between sessions in the user's settings once the program asks
// for that at start-up (tests keep it in memory only).

#include <QSettings>
#include <QString>
#include <QStringList>

#include <memory>

namespace sarvik::app {

/// The program's settings file (an INI file in the user's configuration folder).
[[nodiscard]] std::unique_ptr<QSettings> userSettings();

enum class Place { DiskImage, Snapshot, Destination };

class RecentPlaces {
public:
    /// The program's one set of places.
    static RecentPlaces& instance();

    /// Reads the places kept by earlier sessions and keeps every change from now on.
    void keepInSettings();

    /// The folder the dialog for `place` should open in; empty when none was chosen yet.
    [[nodiscard]] QString folder(Place place) const;
    /// Remembers the folder of `path` (a file, or a folder itself when `isFolder`).
    void remember(Place place, const QString& path, bool isFolder = false);

    /// The disk images opened lately, the newest first (at most kMaxImages).
    [[nodiscard]] QStringList images() const { return m_images; }
    /// Puts `path` first among the recent images.
    void addImage(const QString& path);
    /// Takes `path` off the list (it is gone, or was refused).
    void forgetImage(const QString& path);
    /// Empties the list.
    void clearImages();

    static constexpr int kMaxImages = 8;

private:
    RecentPlaces() = default;
    void save() const;

    bool m_persistent = false;
    QString m_folders[3];
    QStringList m_images;
};

} // namespace sarvik::app
