// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The FAT32 volume that the Qt tests scan, made by the file-system tools.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

namespace sarvik::guitest {

inline bool run(const QString& program, const QStringList& args, QString* error)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = program + QLatin1Char(' ') + args.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                 QString::fromLocal8Bit(p.readAllStandardError());
        return false;
    }
    return true;
}

// A FAT32 volume made by mkfs.fat, filled and partly deleted with mtools:
//   Docs/ (keep.txt, deleted notes.txt), Docs/Old/ (deleted letter.doc),
//   Pics/ (deleted holiday.jpg), deleted report.pdf in the root.
inline QString makeScanVolume(const QString& dir, QString* why)
{
    const QStringList sbin{QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")};
    QString mkfs = QStandardPaths::findExecutable(QStringLiteral("mkfs.fat"));
    if (mkfs.isEmpty())
        mkfs = QStandardPaths::findExecutable(QStringLiteral("mkfs.fat"), sbin);
    const QString mcopy = QStandardPaths::findExecutable(QStringLiteral("mcopy"));
    const QString mmd = QStandardPaths::findExecutable(QStringLiteral("mmd"));
    const QString mdel = QStandardPaths::findExecutable(QStringLiteral("mdel"));
    if (mkfs.isEmpty() || mcopy.isEmpty() || mmd.isEmpty() || mdel.isEmpty()) {
        *why = QStringLiteral("mkfs.fat and mtools are needed for the scan tests");
        return {};
    }
    const QString image = dir + QStringLiteral("/scan32.img");
    const QString text = dir + QStringLiteral("/six.txt");
    QFile f(text);
    if (!f.open(QIODevice::WriteOnly) || f.write("hello\n") != 6)
        return {};
    f.close();
    const QString i = QStringLiteral("-i");
    bool ok =
        run(mkfs,
            {QStringLiteral("-C"), QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-n"),
             QStringLiteral("SCANME"), image, QStringLiteral("40000")},
            why) &&
        run(mmd, {i, image, QStringLiteral("::Docs"), QStringLiteral("::Pics"), QStringLiteral("::Docs/Old")}, why);
    for (const char* target :
         {"::Docs/notes.txt", "::Docs/keep.txt", "::Pics/holiday.jpg", "::report.pdf", "::Docs/Old/letter.doc"})
        ok = ok && run(mcopy, {i, image, text, QString::fromLatin1(target)}, why);
    ok = ok && run(mdel,
                   {i, image, QStringLiteral("::Docs/notes.txt"), QStringLiteral("::Pics/holiday.jpg"),
                    QStringLiteral("::report.pdf"), QStringLiteral("::Docs/Old/letter.doc")},
                   why);
    return ok ? image : QString();
}

} // namespace sarvik::guitest
