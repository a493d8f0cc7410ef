// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace sarvik::app {

namespace {

// The translators stay with the application; a later call takes them off first.
QTranslator* replaceTranslator(QCoreApplication& app, const char* name, const QLocale& locale, const QString& folder)
{
    const QString objectName = QStringLiteral("translation-") + QLatin1String(name);
    if (auto* old = app.findChild<QTranslator*>(objectName, Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    auto* translator = new QTranslator(&app);
    translator->setObjectName(objectName);
    if (!translator->load(locale, QLatin1String(name), QStringLiteral("_"), folder)) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

} // namespace

bool installTranslations(QCoreApplication& app, const QLocale& locale)
{
    replaceTranslator(app, "qtbase", locale, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return replaceTranslator(app, "sarvik", locale, QStringLiteral(":/i18n")) != nullptr;
}

} // namespace sarvik::app
