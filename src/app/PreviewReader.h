// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the preview pane shows of a found file, made on a worker: the file's
// first bytes and the states of its clusters (session::FileHeadReader reads
// them), and the picture or text they hold. Nothing here touches a widget.

#include "session/FileHead.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace sarvik::app {

using session::kPreviewBytes;
using session::kPreviewMostBytes;

/// How the bytes are shown.
enum class PreviewKind { Nothing, Picture, Text, Hex };

struct PreviewContent {
    PreviewKind kind = PreviewKind::Nothing;
    QByteArray bytes;           ///< the file's first bytes, as the copy writes them
    std::uint64_t fileSize = 0; ///< the row's size
    bool cutShort = false;      ///< fewer bytes than the file has (the limit, or the copy stopped)
    QImage picture;             ///< what decoded (Picture)
    QSize pictureSize;          ///< the picture's size as its header says
    QString text;               ///< decoded text (Text)
    QString note;               ///< what the preview could not do, or where a picture stopped
    /// The file's clusters in copy order; nothing when the estimate is unknown.
    std::optional<std::vector<recovery::ClusterPart>> parts;
    std::uint64_t clusterBytes = 0;
};

/// Reads files of one scanned volume for the preview. Used by one worker
/// thread at a time; made on the window's thread from the session it reads,
/// which must stay unchanged while a read runs.
class PreviewReader {
public:
    PreviewReader(const disk::SelectedVolume& volume, const catalogue::Catalogue& catalogue,
                  const catalogue::FolderTree& tree, const recovery::RecoverySettings& settings);
    ~PreviewReader();
    PreviewReader(const PreviewReader&) = delete;
    PreviewReader& operator=(const PreviewReader&) = delete;

    /// Reads the first `limit` bytes of file row `row`, decodes them as
    /// `wanted` (Nothing: by what they hold) and estimates its clusters. The
    /// copy ends early once `generation` is no longer `latest`.
    PreviewContent read(const catalogue::FileRow& row, std::uint64_t limit, PreviewKind wanted,
                        const std::atomic<std::uint64_t>& latest, std::uint64_t generation);

    /// The files read from a shadow copy (see session::FileHeadReader).
    void setFileSources(std::shared_ptr<const recovery::FileSources> sources)
    {
        m_head.setFileSources(std::move(sources));
    }

private:
    session::FileHeadReader m_head;
};

/// Decodes `bytes` as a picture; `intactBytes`: how many of them are still the
/// file's (the rest lie in clusters claimed since, or read as zeros). A picture
/// that decodes only partly says how many rows it holds in `note`.
void decodePicture(PreviewContent& content, std::uint64_t intactBytes);
/// Decodes `bytes` as text (UTF-8, UTF-16 with its byte-order mark, else
/// Windows-1252); false when they do not look like text.
bool decodeText(PreviewContent& content);
/// Lines of offset, 16 bytes in hex and their characters.
QString hexLines(const QByteArray& bytes);

} // namespace sarvik::app
