// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeps what the desktop program writes (recovered files, snapshots, saved
// lists) off the volume being read: the refusal in the command line's words,
// and a file chooser whose accept button stays greyed on such a path.

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QFileDialog;

namespace sarvik::app {

/// What happens when `path` would be written while `sources` are read.
struct SourceVerdict {
    QString refusal; ///< why it may not be written; empty when it may
    QString warning; ///< on another partition of a source's disk; empty when not
};

/// The verdict on writing `path`; `what` names it at the start of the texts,
/// in the user's language ("The destination", "The snapshot", "The list").
[[nodiscard]] SourceVerdict sourceVerdict(const QString& path, const std::vector<std::string>& sources,
                                          const QString& what);

/// Greys the accept button of the (non-native) chooser `dialog`, with the
/// refusal as its tooltip, while what it would choose lies on `sources`.
/// `written` gives the path written for a path chosen, where a rule renames it.
void greyWhileOnSource(QFileDialog& dialog, std::vector<std::string> sources, const QString& what,
                       std::function<QString(const QString&)> written = {});

} // namespace sarvik::app
