// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop program in the user's language: its own texts, compiled into it,
// and Qt's texts (the standard dialogs' buttons) where the system has them.

#include <QLocale>

class QCoreApplication;

namespace sarvik::app {

/// Installs on `app` the program's translation for `locale` and Qt's own,
/// each where one exists; English needs none. Replaces what an earlier call
/// installed. Returns whether the program's own translation was found.
bool installTranslations(QCoreApplication& app, const QLocale& locale = QLocale::system());

} // namespace sarvik::app
