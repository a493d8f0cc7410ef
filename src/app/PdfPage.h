// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The first page of a PDF as a picture, for the preview: the one place that
// reads PDF, through poppler-qt6 where the build found it. Without it, every
// call says so and the preview shows the bytes as hex.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace sarvik::app {

/// True when this build draws PDF pages.
[[nodiscard]] bool canRenderPdf();
/// True when `bytes` start as a PDF file does.
[[nodiscard]] bool looksLikePdf(const QByteArray& bytes);

struct PdfPage {
    QImage picture; ///< the first page, its longer side about `longest` pixels; null when not rendered
    int pages = 0;  ///< pages of the document
    QString error;  ///< why nothing was rendered
};

/// Renders the first page of the PDF held in `bytes`.
[[nodiscard]] PdfPage renderFirstPage(const QByteArray& bytes, int longest);

} // namespace sarvik::app
