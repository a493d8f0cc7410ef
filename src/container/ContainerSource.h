// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Disk image containers: an EnCase image (E01), a virtual machine's disk (VHD,
// VHDX, VMDK, QCOW) or a raw image split into pieces, each read through its
// own library as one disk. A container is recognised by its content (a split
// raw set, which has none, by the numbered names of its pieces); what it holds
// (a partitioned disk or a bare volume) is then read as any other source.
// The libraries are optional: a build without one still recognises its
// containers and says that it cannot read them.

#include "disk/BlockSource.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sarvik::container {

/// The kinds of container this program recognises.
enum class Format {
    None,     ///< not a container: a raw disk or volume image, or a device
    Ewf,      ///< EnCase image (E01, and its segments E02 ...)
    Ewf2,     ///< EnCase 7 image (Ex01)
    Vhd,      ///< Virtual PC / Hyper-V disk (VHD)
    Vhdx,     ///< Hyper-V disk (VHDX)
    Vmdk,     ///< VMware disk (VMDK), sparse or a descriptor
    Qcow,     ///< QEMU disk (QCOW, QCOW2, QCOW3)
    SplitRaw, ///< a raw image in numbered pieces (IMG.001, IMG.002 ...)
};

/// "EnCase image (E01)", "VMware disk (VMDK)" ...; empty for None.
[[nodiscard]] std::string formatName(Format format);

/// The container that `raw`, the file `path` opened as it is, holds: by the
/// signature at its start (or, for a fixed VHD, its footer at the end); a split
/// raw set by its first piece's name ("IMG.001" when "IMG.002" exists).
[[nodiscard]] Format recognise(const disk::BlockSource& raw, const std::string& path);

/// True when this build reads `format` (its library was found when it was built).
[[nodiscard]] bool formatReadable(Format format);

/// The containers this build reads, as a sentence for `info` and `--version`.
[[nodiscard]] std::string readableFormatsText();

/// The containers this build recognises but does not read ("VMware disk
/// (VMDK)" ...), in the order `info` names formats; empty when it reads all.
[[nodiscard]] std::vector<std::string> unreadableFormatNames();

/// A container opened through its library: one disk, read-only. Reads take
/// turns (the libraries keep a position and caches per handle).
class ContainerSource : public disk::BlockSource {
public:
    /// What it is: "EnCase image (E01), 2 segments; media 64 GiB; acquired 2026-03-01 10:12:00".
    [[nodiscard]] const std::string& description() const { return m_description; }
    /// The hashes the container stores for its media ("MD5 0123..."); none when it stores none.
    [[nodiscard]] const std::vector<std::string>& hashes() const { return m_hashes; }
    [[nodiscard]] Format format() const { return m_format; }
    /// Every file the container is read from: the file it was opened by, its
    /// segments or pieces, the extent files its descriptor names, and the
    /// parent or backing files of a child disk (each as it was opened).
    [[nodiscard]] const std::vector<std::string>& files() const { return m_files; }
    /// What is wrong with the set that still let it open ("its last segment
    /// ends unfinished: ..."); empty when nothing is.
    [[nodiscard]] const std::string& warning() const { return m_warning; }

protected:
    explicit ContainerSource(Format format) : m_format(format) {}
    void describe(std::string description, std::vector<std::string> hashes = {})
    {
        m_description = std::move(description);
        m_hashes = std::move(hashes);
    }
    void addFile(const std::string& path)
    {
        if (std::find(m_files.begin(), m_files.end(), path) == m_files.end())
            m_files.push_back(path);
    }
    void setWarning(std::string warning) { m_warning = std::move(warning); }

private:
    Format m_format;
    std::vector<std::string> m_files;
    std::string m_warning;
    std::string m_description;
    std::vector<std::string> m_hashes;
};

/// What opening a file as a container came to.
struct OpenedContainer {
    Format format = Format::None;                  ///< None: not a container; read the file as it is
    std::shared_ptr<const ContainerSource> source; ///< set when it could be read
    std::string error;                             ///< why a recognised container cannot be read
    /// The files it is read from (ContainerSource::files), as far as they
    /// were found: also when it cannot be read, so that none is written.
    std::vector<std::string> files;
};

/// Opens the file `path` (already open as `raw`) through its container's
/// library when it is one. A container this build cannot read, or whose
/// library refuses it (a missing segment or parent), gives no source and the
/// reason.
[[nodiscard]] OpenedContainer openContainer(const std::string& path, const disk::BlockSource& raw);

/// Why the file `path`, about to be opened as a part of a source, may not
/// be: it is a FIFO, a socket, a character device or a folder, which reading
/// could block on or which holds no disk ("s.fifo: a named pipe (FIFO), not
/// a disk image or block device"). Empty for a regular file or a block
/// device, and for a path that does not exist (opening it says so).
[[nodiscard]] std::string unreadableKind(const std::string& path);

/// "64 GiB", "168 MiB", "1.5 KiB": a size for people.
[[nodiscard]] std::string sizeText(std::uint64_t bytes);

} // namespace sarvik::container
