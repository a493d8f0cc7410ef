// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PreviewPane.h"

#include "app/ClusterStrip.h"
#include "app/FileListModel.h"
#include "app/FileTypes.h"
#include "app/ResultsHost.h"
#include "catalogue/NameText.h"
#include "recovery/RecoverySettings.h"
#include "scan/ScanSession.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace sarvik::app {

namespace {

/// A read on the worker, where nothing may escape: a file too large for the
/// memory left (Read all) says so instead of ending the program.
PreviewContent safeRead(PreviewReader& reader, const catalogue::FileRow& row, std::uint64_t limit, PreviewKind wanted,
                        const std::atomic<std::uint64_t>& latest, std::uint64_t generation)
{
    try {
        return reader.read(row, limit, wanted, latest, generation);
    } catch (const std::bad_alloc&) {
        PreviewContent c;
        c.note = PreviewPane::tr("Not enough memory to read the file for the preview.");
        return c;
    }
}

} // namespace

struct PreviewPane::Hold {
    explicit Hold(ResultsHost& host) : hold(host) {}
    ResultsHost::SessionHold hold;
};

PreviewPane::PreviewPane(ResultsHost& host, QWidget* parent) : QWidget(parent), m_host(host)
{
    // One read at a time: the reader keeps what it learnt of the volume.
    m_pool.setMaxThreadCount(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 0, 0);
    auto* top = new QHBoxLayout;
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_mode = new QComboBox(this);
    m_mode->addItem(tr("Auto"));
    m_mode->addItem(tr("Hex"));
    m_mode->setToolTip(tr("Show the file as what it holds, or as hex"));
    m_readAll = new QPushButton(tr("Read &all"), this);
    m_readAll->setToolTip(tr("The preview reads the first 16 MiB; read the whole file (up to 1 GiB)"));
    m_readAll->hide();
    top->addWidget(m_title, 1);
    top->addWidget(m_readAll);
    top->addWidget(m_mode);
    layout->addLayout(top);
    m_stack = new QStackedWidget(this);
    m_picture = new QLabel(m_stack);
    m_picture->setAlignment(Qt::AlignCenter);
    m_picture->setMinimumSize(1, 1);
    m_picture->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_text = new QPlainTextEdit(m_stack);
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_text->setAccessibleName(tr("Preview"));
    m_mode->setAccessibleName(tr("Preview as"));
    m_readAll->setAccessibleDescription(m_readAll->toolTip());
    m_stack->addWidget(m_picture);
    m_stack->addWidget(m_text);
    layout->addWidget(m_stack, 1);
    m_note = new QLabel(this);
    m_note->setWordWrap(true);
    m_note->setTextFormat(Qt::PlainText);
    layout->addWidget(m_note);
    m_strip = new ClusterStrip(this);
    layout->addWidget(m_strip);
    m_legend = new QLabel(this);
    m_legend->setTextFormat(Qt::RichText);
    m_legend->setWordWrap(true);
    layout->addWidget(m_legend);
    connect(m_mode, &QComboBox::currentIndexChanged, this, [this] { start(); });
    connect(m_readAll, &QPushButton::clicked, this, [this] {
        m_limit = kPreviewMostBytes;
        start();
    });
    clear(QString());
}

PreviewPane::~PreviewPane()
{
    settle();
}

std::uintptr_t PreviewPane::fingerprint() const
{
    // The catalogue's lists move when a scan, a snapshot or a deep search
    // fills them again; a rename changes names in place, which no read keeps.
    return m_host.session().catalogue.storageStamp() ^
           reinterpret_cast<std::uintptr_t>(m_host.session().volume.reader.source().get()); // NOLINT
}

void PreviewPane::settle()
{
    ++m_latest;
    ++m_thumbnails;
    m_pool.waitForDone();
}

void PreviewPane::release()
{
    settle();
    m_reader.reset();
}

std::shared_ptr<PreviewReader> PreviewPane::reader()
{
    if (!m_reader || m_readerFingerprint != fingerprint()) {
        m_pool.waitForDone(); // the old reader's reads were for an older session
        const scan::ScanSession& s = m_host.session();
        m_reader = std::make_shared<PreviewReader>(s.volume, s.catalogue, s.tree, m_host.settings());
        m_reader->setFileSources(s.fileSources);
        m_readerFingerprint = fingerprint();
    }
    return m_reader;
}

void PreviewPane::holdOn()
{
    if (m_inFlight++ == 0)
        m_hold = std::make_unique<Hold>(m_host);
}

void PreviewPane::holdOff()
{
    if (--m_inFlight == 0)
        m_hold.reset();
}

void PreviewPane::requestThumbnail(const catalogue::FileRow& row, int side, QObject* context,
                                   std::function<void(const QImage&)> done)
{
    if (!m_host.session().volume.reader.isOpen())
        return;
    const std::uint64_t generation = m_thumbnails.load();
    holdOn();
    const auto job = [this, reader = reader(), row, side, generation, context = QPointer<QObject>(context),
                      done = std::move(done)] {
        QImage thumbnail;
        if (m_thumbnails.load() == generation) {
            const PreviewContent c =
                safeRead(*reader, row, kPreviewBytes, PreviewKind::Nothing, m_thumbnails, generation);
            if (c.kind == PreviewKind::Picture && !c.picture.isNull())
                thumbnail = c.picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        QMetaObject::invokeMethod(
            this,
            [this, context, done, thumbnail] {
                holdOff();
                if (context)
                    done(thumbnail);
            },
            Qt::QueuedConnection);
    };
    m_pool.start(job, -1); // after the preview of the selected file
}

void PreviewPane::showRow(int row)
{
    m_row = row;
    m_limit = kPreviewBytes;
    start();
}

void PreviewPane::clear(const QString& title)
{
    m_title->setText(title);
    m_content = PreviewContent{};
    m_picture->clear();
    m_text->clear();
    m_note->clear();
    m_readAll->hide();
    m_strip->setParts(std::nullopt);
    m_legend->clear();
}

void PreviewPane::start()
{
    const std::uint64_t generation = ++m_latest;
    const auto& rows = m_host.fileListModel()->fileRows();
    if (!isVisible() || m_row < 0 || static_cast<std::size_t>(m_row) >= rows.size() ||
        rows[static_cast<std::size_t>(m_row)].folder || !m_host.session().volume.reader.isOpen()) {
        clear(QString());
        return;
    }
    const catalogue::FileRow row = rows[static_cast<std::size_t>(m_row)];
    clear(QString::fromStdString(catalogue::nameToUtf8(row.name, m_host.session().catalogue.NamesAreUtf8)));
    m_note->setText(tr("Reading..."));
    holdOn();
    const PreviewKind wanted = m_mode->currentIndex() == 1 ? PreviewKind::Hex : PreviewKind::Nothing;
    m_pool.start([this, reader = reader(), row, limit = m_limit, wanted, generation] {
        PreviewContent content;
        if (m_latest.load() == generation)
            content = safeRead(*reader, row, limit, wanted, m_latest, generation);
        QMetaObject::invokeMethod(
            this,
            [this, generation, content = std::move(content)]() mutable { finished(generation, std::move(content)); },
            Qt::QueuedConnection);
    });
}

void PreviewPane::finished(std::uint64_t generation, PreviewContent content)
{
    holdOff();
    if (generation != m_latest.load())
        return; // the selection moved on
    m_content = std::move(content);
    m_note->setText(m_content.note);
    m_readAll->setVisible(m_content.cutShort && m_limit == kPreviewBytes);
    switch (m_content.kind) {
    case PreviewKind::Picture:
        m_stack->setCurrentWidget(m_picture);
        m_title->setText(QStringLiteral("%1 (%2 x %3)")
                             .arg(m_title->text())
                             .arg(m_content.pictureSize.width())
                             .arg(m_content.pictureSize.height()));
        showPicture();
        break;
    case PreviewKind::Text:
    case PreviewKind::Hex:
        m_text->setFont(m_content.kind == PreviewKind::Hex ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                                           : font());
        m_text->setPlainText(m_content.text);
        m_stack->setCurrentWidget(m_text);
        break;
    case PreviewKind::Nothing:
        break;
    }
    m_strip->setParts(m_content.parts);
    using recovery::ClusterState;
    QString legend;
    for (const ClusterState s :
         {ClusterState::Intact, ClusterState::Claimed, ClusterState::Unreadable, ClusterState::NoData}) {
        const std::uint64_t n = m_strip->clusters(s);
        if (n == 0)
            continue;
        legend += QStringLiteral("<span style=\"color:%1\">&#9632;</span> %L2 %3 &nbsp; ")
                      .arg(ClusterStrip::colour(s).name())
                      .arg(n)
                      .arg(ClusterStrip::stateText(s).toHtmlEscaped());
    }
    m_legend->setText(legend);
    emit shown();
}

void PreviewPane::showPicture()
{
    if (m_content.picture.isNull()) {
        m_picture->clear();
        return;
    }
    const QSize room = m_picture->size();
    QPixmap pixmap = QPixmap::fromImage(m_content.picture);
    if (pixmap.width() > room.width() || pixmap.height() > room.height())
        pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_picture->setPixmap(pixmap);
}

void PreviewPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_content.kind == PreviewKind::Picture)
        showPicture();
}

void PreviewPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    start();
}

void PreviewPane::hideEvent(QHideEvent* event)
{
    // Whatever hides the pane (the page changes, the preview is turned off)
    // may change the session next: a new scan or a snapshot fills it again
    // only once the results page is gone.
    release();
    QWidget::hideEvent(event);
}

} // namespace sarvik::app
