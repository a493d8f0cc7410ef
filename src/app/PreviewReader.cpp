// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PreviewReader.h"

#include "app/PdfPage.h"
#include "app/PreviewPane.h"

#include "catalogue/NameText.h"
#include "disk/ReadAhead.h"
#include "recovery/FileRecovery.h"
#include "recovery/OutputFolder.h"

#include <QBuffer>
#include <QImageReader>
#include <QStringDecoder>

#include <algorithm>

namespace sarvik::app {

namespace {

/// Pictures larger than this are decoded scaled down: the pane is smaller.
constexpr int kLargestSide = 1280;
/// Text shown: the first screens, not a whole log file.
constexpr qsizetype kTextBytes = 256 * 1024;
/// Bytes the hex view lists.
constexpr qsizetype kHexBytes = 256 * 1024;
/// A run of zeros this long at the end of a picture's bytes is not its data:
/// no picture format ends that way.
constexpr std::uint64_t kZeroTail = 4096;

/// Rows from the bottom of `image` that are all one colour, the colour of its
/// last row: where a decoder that ran out of data filled the rest.
int filledRows(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull() || argb.width() == 0)
        return 0;
    const auto fill = argb.pixel(0, argb.height() - 1);
    int rows = 0;
    for (int y = argb.height() - 1; y >= 0; --y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y)); // NOLINT: ARGB32 rows
        if (!std::all_of(line, line + argb.width(), [fill](QRgb p) { return p == fill; }))
            break;
        ++rows;
    }
    return rows;
}

/// How many of the bytes are still the file's: up to the first cluster not
/// intact, and before a long run of zeros at the end.
std::uint64_t intactBytes(const PreviewContent& c)
{
    qsizetype end = c.bytes.size();
    while (end > 0 && c.bytes[end - 1] == '\0')
        --end;
    return session::intactBytes(static_cast<std::uint64_t>(c.bytes.size()), static_cast<std::uint64_t>(end), c.parts,
                                c.clusterBytes, kZeroTail);
}

bool readImage(QByteArray bytes, QImage& image, QSize& size, QString& error)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    size = reader.size();
    if (size.isValid() && std::max(size.width(), size.height()) > kLargestSide)
        reader.setScaledSize(size.scaled(kLargestSide, kLargestSide, Qt::KeepAspectRatio));
    const bool ok = reader.read(&image);
    if (!ok)
        error = reader.errorString();
    return ok;
}

bool looksLikePicture(const QByteArray& bytes)
{
    QByteArray copy = bytes.left(4096);
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    return reader.canRead();
}

} // namespace

PreviewReader::PreviewReader(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue,
                             const catalogue::FolderTree& tree, const recovery::RecoverySettings& settings)
    : m_head(volume, catalogue, tree, settings)
{
}

PreviewReader::~PreviewReader() = default;

PreviewContent PreviewReader::read(const catalogue::FileRow& row, std::uint64_t limit, PreviewKind wanted,
                                   const std::atomic<std::uint64_t>& latest, std::uint64_t generation)
{
    PreviewContent c;
    c.fileSize = row.size;
    c.clusterBytes = m_head.clusterBytes();
    c.parts = m_head.parts(row);
    if (latest.load() != generation)
        return c;
    QByteArray& bytes = c.bytes;
    m_head.readHead(
        row, limit,
        [&bytes](const std::byte* data, std::size_t count) {
            bytes.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(count)); // NOLINT
        },
        latest, generation);
    c.cutShort = static_cast<std::uint64_t>(bytes.size()) < row.size;
    if (latest.load() != generation)
        return c;
    if (c.bytes.isEmpty() && row.size != 0) {
        c.note = PreviewPane::tr("Nothing of the file could be read.");
        return c;
    }
    if (wanted == PreviewKind::Hex) {
        c.kind = PreviewKind::Hex;
        c.text = hexLines(c.bytes);
        return c;
    }
    if (looksLikePdf(c.bytes)) {
        const PdfPage page = renderFirstPage(c.bytes, kLargestSide / 2);
        if (!page.picture.isNull()) {
            c.kind = PreviewKind::Picture;
            c.picture = page.picture;
            c.pictureSize = page.picture.size();
            c.note = PreviewPane::tr("Page 1 of %L1").arg(page.pages);
            return c;
        }
        c.note = PreviewPane::tr("No page shown: %1.").arg(page.error);
    }
    if (decodeText(c))
        return c;
    if (looksLikePicture(c.bytes)) {
        decodePicture(c, intactBytes(c));
        return c;
    }
    c.kind = PreviewKind::Hex;
    c.text = hexLines(c.bytes);
    return c;
}

void decodePicture(PreviewContent& c, std::uint64_t intactBytes)
{
    c.kind = PreviewKind::Picture;
    QImage image;
    QString error;
    const bool ok = readImage(c.bytes, image, c.pictureSize, error);
    const bool damaged = intactBytes < static_cast<std::uint64_t>(c.bytes.size());
    if (damaged) {
        // Only the bytes that are still the file's: the decoder fills the rest.
        QImage head;
        QSize size;
        QString headError;
        (void)readImage(c.bytes.left(static_cast<qsizetype>(intactBytes)), head, size, headError);
        if (!head.isNull())
            image = head;
    }
    c.picture = image;
    if (image.isNull()) {
        c.note = PreviewPane::tr("The picture could not be decoded: %1").arg(error);
        return;
    }
    if (!c.pictureSize.isValid())
        c.pictureSize = image.size();
    if (ok && !damaged && !c.cutShort)
        return;
    const int height = c.pictureSize.height();
    const int decoded = static_cast<int>(static_cast<qint64>(image.height() - filledRows(image)) * height /
                                         std::max(1, image.height()));
    QString why;
    if (damaged)
        why = PreviewPane::tr("the file's data ends at byte %L1").arg(intactBytes);
    else if (c.cutShort)
        why = PreviewPane::tr("only the first %L1 bytes were read").arg(c.bytes.size());
    else
        why = error;
    c.note = PreviewPane::tr("Decoded %L1 of %L2 rows: %3.").arg(decoded).arg(height).arg(why);
}

bool decodeText(PreviewContent& c)
{
    const QByteArray head = c.bytes.left(kTextBytes);
    if (head.isEmpty())
        return false;
    const auto u8 = [&head](int i) { return static_cast<unsigned char>(head[i]); };
    if (head.size() >= 2 && ((u8(0) == 0xFF && u8(1) == 0xFE) || (u8(0) == 0xFE && u8(1) == 0xFF))) {
        QStringDecoder decoder(u8(0) == 0xFF ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        c.text = decoder.decode(head.mid(2));
        c.kind = PreviewKind::Text;
        return true;
    }
    // Text holds no NUL and few control characters besides line breaks and tabs.
    qsizetype controls = 0;
    for (const char ch : head) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == 0)
            return false;
        if (b < 0x20 && b != '\n' && b != '\r' && b != '\t' && b != '\f' && b != 0x1B)
            ++controls;
    }
    if (controls * 50 > head.size())
        return false;
    // A character cut by the end of what was read is no error of its
    // encoding: the last one goes (whole or not) when the text goes on.
    qsizetype end = head.size();
    if (head.size() == kTextBytes || c.cutShort) {
        while (end > 0 && head.size() - end < 3 && (u8(static_cast<int>(end - 1)) & 0xC0) == 0x80)
            --end;
        if (end > 0 && u8(static_cast<int>(end - 1)) >= 0xC0)
            --end;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(head.left(end));
    if (!utf8.hasError()) {
        c.text = text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
    } else {
        const std::string utf = catalogue::toUtf8(std::string_view(head.constData(), static_cast<std::size_t>(end)));
        c.text = QString::fromStdString(utf);
    }
    c.kind = PreviewKind::Text;
    return true;
}

QString hexLines(const QByteArray& bytes)
{
    const qsizetype n = std::min(bytes.size(), kHexBytes);
    QString out;
    out.reserve(n / 16 * 78 + 80);
    static const char kDigits[] = "0123456789abcdef";
    for (qsizetype line = 0; line < n; line += 16) {
        out += QStringLiteral("%1  ").arg(line, 8, 16, QLatin1Char('0'));
        QString chars;
        for (qsizetype i = line; i < line + 16; ++i) {
            if (i < n) {
                const auto b = static_cast<unsigned char>(bytes[i]);
                out += QLatin1Char(kDigits[b >> 4]);
                out += QLatin1Char(kDigits[b & 15]);
                out += QLatin1Char(' ');
                chars += b >= 0x20 && b < 0x7F ? QLatin1Char(static_cast<char>(b)) : QLatin1Char('.');
            } else {
                out += QStringLiteral("   ");
            }
            if (i == line + 7)
                out += QLatin1Char(' ');
        }
        out += QLatin1Char(' ');
        out += chars;
        out += QLatin1Char('\n');
    }
    if (bytes.size() > n)
        out += PreviewPane::tr("(the first %L1 of %L2 bytes read)\n").arg(n).arg(bytes.size());
    return out;
}

} // namespace sarvik::app
