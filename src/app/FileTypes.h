// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Type names and small icons of found files, from the desktop's MIME database
// (matched by the name's extension alone, as nothing on disk can be trusted) and
// the icon theme.

#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QString>

#include <string>

namespace sarvik::app {

class FileTypes {
public:
    /// The type name of a file called `name` (UTF-8), e.g. "plain text document".
    [[nodiscard]] QString typeName(const QString& name) const;
    /// The same for a catalogue name (UTF-8 or Windows-1252, as the catalogue
    /// says); the type name is UTF-8. Fits catalogue::TypeNameProvider.
    [[nodiscard]] std::string typeNameOfName(const std::string& name, bool namesAreUtf8) const;
    /// The small icon for a file called `name`.
    [[nodiscard]] QIcon fileIcon(const QString& name);
    [[nodiscard]] QIcon folderIcon();

private:
    QMimeDatabase m_mimes;
    QHash<QString, QIcon> m_icons; // by MIME type name
};

/// Points Qt at the system's icon themes. Without this every themed icon comes
/// back empty on desktops that do not announce a theme (and under offscreen).
void useSystemIconTheme();

} // namespace sarvik::app

namespace sarvik::app {
/// A name typed by the user as the catalogue holds names: UTF-8 when its names
/// are UTF-8 (a thorough scan's), else Windows-1252 bytes, where characters that
/// code page cannot hold become '_'.
[[nodiscard]] std::string toDiskName(const QString& text, bool namesAreUtf8);
/// A catalogue name for display.
[[nodiscard]] QString nameText(const std::string& name, bool namesAreUtf8);
} // namespace sarvik::app
