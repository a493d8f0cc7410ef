// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PdfPage.h"
#include "app/PreviewPane.h"

#ifdef SARVIK_HAVE_POPPLER
#include <poppler-qt6.h>
#endif

#include <algorithm>

namespace sarvik::app {

bool canRenderPdf()
{
#ifdef SARVIK_HAVE_POPPLER
    return true;
#else
    return false;
#endif
}

bool looksLikePdf(const QByteArray& bytes)
{
    return bytes.startsWith("%PDF-");
}

PdfPage renderFirstPage(const QByteArray& bytes, int longest)
{
    PdfPage out;
#ifdef SARVIK_HAVE_POPPLER
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::loadFromData(bytes);
    if (!document || document->isLocked()) {
        out.error = document ? PreviewPane::tr("the PDF is locked") : PreviewPane::tr("the PDF could not be read");
        return out;
    }
    out.pages = document->numPages();
    const std::unique_ptr<Poppler::Page> page = out.pages > 0 ? document->page(0) : nullptr;
    if (!page) {
        out.error = PreviewPane::tr("the PDF has no page that can be read");
        return out;
    }
    document->setRenderHint(Poppler::Document::Antialiasing);
    document->setRenderHint(Poppler::Document::TextAntialiasing);
    // Points are 1/72 inch: the resolution that makes the longer side `longest` pixels.
    const QSizeF points = page->pageSizeF();
    const double side = std::max(points.width(), points.height());
    const double dpi = side > 0 ? 72.0 * longest / side : 72.0;
    out.picture = page->renderToImage(dpi, dpi);
    if (out.picture.isNull())
        out.error = PreviewPane::tr("the first page could not be drawn");
#else
    (void)bytes;
    (void)longest;
    out.error = PreviewPane::tr("this build shows no PDF pages");
#endif
    return out;
}

} // namespace sarvik::app
