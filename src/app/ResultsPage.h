// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The last page of the main window: the folder tree, the file list in its
// three views, the rules and filter notes and the deep search's strip. Its
// widgets are built and its operations defined in ResultsPage.cpp and, for the
// folder tree, FolderTreePane.cpp (as RecoveryWindow's); the texts it shows
// are here. The rows, their order and texts are session::FileListRows'.

#include <QString>

namespace sarvik::app::Text {
QString resultsHelp();
} // namespace sarvik::app::Text
