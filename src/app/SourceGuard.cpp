// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SourceGuard.h"

#include "platform/SourceVolume.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

namespace sarvik::app {

SourceVerdict sourceVerdict(const QString& path, const std::vector<std::string>& sources, const QString& what)
{
    if (path.isEmpty() || sources.empty())
        return {};
    switch (platform::placeOfWrite(path.toStdString(), sources)) {
    case platform::WritePlace::OnSource:
        return {QCoreApplication::translate(
                    "sarvik::app::SourceGuard",
                    "%1 is on the volume being recovered: writing there can overwrite the files you "
                    "want back. Choose a folder on another drive.")
                    .arg(what),
                {}};
    case platform::WritePlace::OtherPartition:
        return {
            {},
            QCoreApplication::translate("sarvik::app::SourceGuard",
                                        "%1 is on another partition of the disk being recovered. That partition is not "
                                        "written, but a failing disk is best left alone.")
                .arg(what)};
    case platform::WritePlace::Elsewhere:
        break;
    }
    return {};
}

void greyWhileOnSource(QFileDialog& dialog, std::vector<std::string> sources, const QString& what,
                       std::function<QString(const QString&)> written)
{
    // Queued, so that it runs after the chooser has set the button itself.
    const auto update = [&dialog, sources = std::move(sources), what, written = std::move(written)] {
        auto* box = dialog.findChild<QDialogButtonBox*>();
        const QStringList chosen = dialog.selectedFiles();
        if (box == nullptr || chosen.isEmpty())
            return;
        QPushButton* accept = box->button(dialog.acceptMode() == QFileDialog::AcceptSave ? QDialogButtonBox::Save
                                                                                         : QDialogButtonBox::Open);
        if (accept == nullptr)
            return;
        const QString path = written ? written(chosen.front()) : chosen.front();
        const QString refusal = sourceVerdict(path, sources, what).refusal;
        if (!refusal.isEmpty())
            accept->setEnabled(false);
        accept->setToolTip(refusal);
    };
    QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, update, Qt::QueuedConnection);
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, update, Qt::QueuedConnection);
    if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        QObject::connect(name, &QLineEdit::textChanged, &dialog, update, Qt::QueuedConnection);
    QMetaObject::invokeMethod(&dialog, update, Qt::QueuedConnection);
}

} // namespace sarvik::app
