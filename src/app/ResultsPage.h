#pragma once
// The last page of the main window: the folder tree, the file list in its
// three views, the rules and filter notes and the deep search's strip. Its
// widgets are built and its operations defined in ResultsPage.cpp (as
// RecoveryWindow's); the texts it shows are here.

#include <QString>

namespace sarvik::app::Text {
QString resultsHelp();
} // namespace sarvik::app::Text
