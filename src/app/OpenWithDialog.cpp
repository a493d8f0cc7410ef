// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/OpenWithDialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeDatabase>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include <algorithm>

namespace sarvik::app {

namespace {

/// The keys of a desktop entry's [Desktop Entry] group that we use. Read by
/// hand: QSettings mangles the ';' lists and the escapes of the format.
struct Entry {
    QString name, exec, type;
    QStringList mimeTypes;
    bool hidden = false;
    bool terminal = false;
};

Entry readEntry(const QString& path)
{
    Entry e;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return e;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine(64 * 1024)).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inGroup)
            continue;
        const auto eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Name"))
            e.name = value;
        else if (key == QLatin1String("Exec"))
            e.exec = value;
        else if (key == QLatin1String("Type"))
            e.type = value;
        else if (key == QLatin1String("MimeType"))
            e.mimeTypes = value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        else if (key == QLatin1String("Terminal"))
            e.terminal = value == QLatin1String("true");
        else if ((key == QLatin1String("NoDisplay") || key == QLatin1String("Hidden")) &&
                 value == QLatin1String("true"))
            e.hidden = true;
    }
    return e;
}

} // namespace

std::vector<DesktopApplication> applicationsFor(const QStringList& mimeTypes, QStringList folders)
{
    if (folders.isEmpty())
        folders = QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    std::vector<DesktopApplication> apps;
    QStringList seenIds;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& fileName : dir.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
            // The first folder that holds an id wins, as the desktop's own lookup does.
            if (seenIds.contains(fileName))
                continue;
            seenIds.append(fileName);
            const Entry e = readEntry(dir.filePath(fileName));
            // A program that runs in a terminal would start here without one.
            if (e.hidden || e.terminal || e.exec.isEmpty() || e.name.isEmpty() ||
                (!e.type.isEmpty() && e.type != QLatin1String("Application")))
                continue;
            const bool handles = std::any_of(mimeTypes.begin(), mimeTypes.end(),
                                             [&](const QString& m) { return e.mimeTypes.contains(m); });
            if (handles)
                apps.push_back({e.name, e.exec, dir.filePath(fileName)});
        }
    }
    std::sort(apps.begin(), apps.end(), [](const DesktopApplication& a, const DesktopApplication& b) {
        return a.name.localeAwareCompare(b.name) < 0;
    });
    return apps;
}

QStringList commandFor(const QString& execLine, const QString& file)
{
    const QStringList words = QProcess::splitCommand(execLine);
    QStringList out;
    bool placed = false;
    for (const QString& word : words) {
        if (word == QLatin1String("%f") || word == QLatin1String("%F") || word == QLatin1String("%u") ||
            word == QLatin1String("%U")) {
            out.append(file);
            placed = true;
            continue;
        }
        QString w = word;
        // Other field codes (%i, %c, %k, deprecated ones) name nothing we have.
        for (const char* code : {"%i", "%c", "%k", "%d", "%D", "%n", "%N", "%v", "%m"})
            w.remove(QLatin1String(code));
        w.replace(QLatin1String("%%"), QLatin1String("%"));
        if (!w.isEmpty())
            out.append(w);
    }
    if (out.isEmpty())
        return {};
    if (!placed)
        out.append(file);
    return out;
}

OpenWithDialog::OpenWithDialog(const QString& file, QWidget* parent) : QDialog(parent), m_file(file)
{
    setWindowTitle(tr("Open With"));
    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(file, QMimeDatabase::MatchExtension);
    QStringList types{type.name()};
    types += type.allAncestors();
    m_apps = applicationsFor(types);

    auto* caption = new QLabel(tr("Choose the program to open \"%1\" with:").arg(QFileInfo(file).fileName()), this);
    caption->setWordWrap(true);
    m_list = new QListWidget(this);
    for (const DesktopApplication& app : m_apps)
        m_list->addItem(app.name);
    m_emptyNote = new QLabel(tr("No installed program opens this kind of file (programs that run in "
                                "a terminal are not listed). Type a command to open it with."),
                             this);
    m_emptyNote->setWordWrap(true);
    m_emptyNote->setVisible(m_apps.empty());
    m_command = new QLineEdit(this);
    m_command->setPlaceholderText(tr("or type a command"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_open = buttons->button(QDialogButtonBox::Ok);
    m_open->setText(tr("&Open"));
    m_open->setEnabled(false);
    auto update = [this] { m_open->setEnabled(!m_command->text().trimmed().isEmpty()); };
    // Only a selection the user makes fills the field: the list making an item
    // current as it takes the focus must not replace a typed command.
    connect(m_list, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = m_list->selectedItems();
        if (!chosen.isEmpty())
            m_command->setText(m_apps[static_cast<std::size_t>(m_list->row(chosen.front()))].exec);
    });
    connect(m_list, &QListWidget::itemActivated, this, &QDialog::accept);
    connect(m_command, &QLineEdit::textChanged, this, update);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(caption);
    layout->addWidget(m_list);
    layout->addWidget(m_emptyNote);
    auto* commandCaption = new QLabel(tr("&Command:"), this);
    commandCaption->setBuddy(m_command);
    layout->addWidget(commandCaption);
    layout->addWidget(m_command);
    // What a screen reader says for the list and the field.
    m_list->setAccessibleName(tr("Programs"));
    m_list->setAccessibleDescription(caption->text());
    m_command->setAccessibleName(tr("Command"));
    m_command->setAccessibleDescription(tr("The command that opens the file; the chosen program's, or one typed"));
    layout->addWidget(buttons);
    resize(420, 360);
}

QStringList OpenWithDialog::chosenCommand() const
{
    return commandFor(m_command->text().trimmed(), m_file);
}

} // namespace sarvik::app
