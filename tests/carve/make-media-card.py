#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes card-media.img: a quick-formatted FAT16 camera card (32 MiB, 4 KiB
clusters) holding one real file of each type a camera, phone or recorder
writes, made by the tools that write them:

  ffmpeg            MOV, MP4, 3GP, M4A, AVI, MKV, WebM, WAV, MP3 (with and
                    without ID3 tags), FLAC, Ogg Vorbis, Opus, MTS (192-byte packets)
  ImageMagick       BMP, PSD, WebP, TIFF
  heif-enc          HEIC
  7z                7z
  python3-tifffile  raw files shaped as most are: a TIFF whose strips are in a
                    sub-IFD (NEF by its maker, DNG by its version tag)
  Python's zipfile  XLSX, PPTX (and DOCX, JPEG, PDF from carve_files.py)
and, where no Debian tool writes the format, the structure of a sample from
tests/third-party/format-samples (PPT compound file, CR3, Fujifilm RAF with
its pieces filled in to their lengths).

The files are written with mtools in a shuffled order (types interleaved
cluster after cluster), then SOUND.WAV is deleted and FRAG.OGG written: it fills
the WAV's clusters and goes on after the last file (fragmented: carving must not
give it whole). Then the card is quick-formatted (mkfs.fat again) and the
folder's own cluster overwritten, so that only carving finds the files. Each file
written with ffmpeg carries a creation time, and the JPEG an EXIF
DateTimeOriginal.

card-media.manifest.tsv has the columns of the other carving volumes
(tests/carve/make-carve-volumes.py): carve=whole (byte-exact by carving, named
f<cluster>.<ext>), carve=fragmented, carve=lost.

Usage: make-media-card.py OUTDIR
Needs: ffmpeg, imagemagick, libheif-examples, p7zip-full, python3-tifffile,
mtools, dosfstools (tools/setup-debian.sh). Without them it says which are
missing and makes nothing (exit 0).
"""

import hashlib
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import carve_files as cf  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "third-party", "format-samples")
ENV = dict(os.environ, SOURCE_DATE_EPOCH="1700000000", MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8", TZ="UTC")
ENV.pop("MTOOLSRC", None)
HEADER = "path\ttype\tsize\tsha256\tstate\tin_deleted_folder\tcontiguous\tfirst_cluster\tnotes\n"
CREATED = "2024-05-17T10:20:30Z"
TOOLS = ["ffmpeg", "convert", "heif-enc", "7z", "mkfs.fat", "mcopy", "mshowfat"]


def run(*args, cwd=None):
    subprocess.run(args, check=True, env=ENV, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ffmpeg(tmp, name, *args, seconds=2):
    """A test picture and a tone for `seconds`, coded as `args` say, into tmp/name."""
    out = os.path.join(tmp, name)
    run("ffmpeg", "-y", "-f", "lavfi", "-i", f"testsrc=size=320x240:rate=15:duration={seconds}", "-f", "lavfi",
        "-i", f"sine=frequency=440:duration={seconds}", "-fflags", "+bitexact", "-flags:v", "+bitexact",
        "-flags:a", "+bitexact", "-metadata", f"creation_time={CREATED}", *args, out)
    return out


def audio(tmp, name, *args, seconds=3, source="sine=frequency=660"):
    out = os.path.join(tmp, name)
    run("ffmpeg", "-y", "-f", "lavfi", "-i", f"{source}:duration={seconds}", "-fflags", "+bitexact",
        "-flags:a", "+bitexact", *args, out)
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


def office_zip(kind):
    """An XLSX or PPTX: [Content_Types].xml and the parts below xl/ or ppt/."""
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in [("[Content_Types].xml", "<Types/>"), ("_rels/.rels", "<Relationships/>"),
                           (f"{kind}/workbook.xml" if kind == "xl" else f"{kind}/presentation.xml", "<x/>" * 500),
                           ("docProps/app.xml", "<Properties/>")]:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 17, 10, 20, 30))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, text)
    return buf.getvalue()


def tiff_raw(tmp, name, make, dng, rng):
    """A small preview in IFD0 and the sensor data in a sub-IFD, as raw files are laid out."""
    import numpy
    import tifffile
    out = os.path.join(tmp, name)
    preview = numpy.frombuffer(rng.randbytes(64 * 48 * 3), dtype=numpy.uint8).reshape(48, 64, 3)
    sensor = numpy.frombuffer(rng.randbytes(256 * 192 * 2), dtype=numpy.uint16).reshape(192, 256)
    extra = [(271, "s", 0, make, True), (272, "s", 0, "Model 1", True)]
    if dng:
        extra.append((50706, "B", 4, (1, 4, 0, 0), True))
    with tifffile.TiffWriter(out) as t:
        t.write(preview, photometric="rgb", subifds=1, extratags=extra, metadata=None)
        t.write(sensor, photometric="minisblack", metadata=None, rowsperstrip=16)
    return out


def raf(rng):
    """The sample's header, its pieces filled out to the lengths the header gives."""
    head = bytearray(read(os.path.join(SAMPLES, "FujiFilm.raf")))
    end = max(struct.unpack_from(">I", head, at)[0] + struct.unpack_from(">I", head, at + 4)[0]
              for at in (0x54, 0x5C, 0x64, 0x78, 0x80))
    # The sensor data of the second readout is cut away in the sample: it is given back here.
    head.extend(rng.randbytes(max(0, end - len(head))))
    return bytes(head[:end])


def jpeg_with_time(rng):
    """A JPEG of carve_files.py with an EXIF block naming its DateTimeOriginal."""
    plain = cf.jpeg(rng, 60000, thumbnail=False)
    when = b"2023:08:09 07:06:05\0"
    # TIFF header, IFD0 with the EXIF IFD pointer, the EXIF IFD with DateTimeOriginal.
    tiff = b"II*\0" + struct.pack("<I", 8)
    tiff += struct.pack("<H", 1) + struct.pack("<HHII", 0x8769, 4, 1, 26) + struct.pack("<I", 0)
    tiff += struct.pack("<H", 1) + struct.pack("<HHII", 0x9003, 2, len(when), 44) + struct.pack("<I", 0)
    tiff += when
    app1 = b"Exif\0\0" + tiff
    segment = b"\xFF\xE1" + struct.pack(">H", len(app1) + 2) + app1
    return plain[:2] + segment + plain[2:]


def make_files(tmp, rng):
    """(name, bytes, ext) of the card's files."""
    picture = os.path.join(tmp, "source.png")
    run("convert", "-seed", "7", "-size", "240x160", "plasma:fractal", picture)
    files = [
        ("VID.MOV", read(ffmpeg(tmp, "v.mov", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac")), "mov"),
        ("VID.MP4", read(ffmpeg(tmp, "v.mp4", "-c:v", "mpeg4", "-c:a", "aac")), "mp4"),
        ("CLIP.3GP", read(ffmpeg(tmp, "c.3gp", "-s", "176x144", "-c:v", "h263", "-c:a", "aac", "-ar", "16000",
                                 "-ac", "1")), "3gp"),
        ("CLIP.AVI", read(ffmpeg(tmp, "c.avi", "-c:v", "mpeg4", "-c:a", "libmp3lame")), "avi"),
        ("CLIP.MKV", read(ffmpeg(tmp, "c.mkv", "-c:v", "mpeg4", "-c:a", "flac")), "mkv"),
        ("CLIP.WEBM", read(ffmpeg(tmp, "c.webm", "-c:v", "libvpx", "-b:v", "200k", "-c:a", "libvorbis",
                                  seconds=1)), "webm"),
        ("CLIP.MTS", read(ffmpeg(tmp, "c.mts", "-c:v", "mpeg2video", "-c:a", "ac3", "-f", "mpegts",
                                 "-mpegts_m2ts_mode", "1")), "mts"),
        ("SONG.M4A", read(audio(tmp, "s.m4a", "-c:a", "aac", "-metadata", f"creation_time={CREATED}")), "m4a"),
        ("SONG.MP3", read(audio(tmp, "s.mp3", "-c:a", "libmp3lame", "-metadata", "title=Tone")), "mp3"),
        ("BARE.MP3", read(audio(tmp, "b.mp3", "-c:a", "libmp3lame", "-id3v2_version", "0", "-write_xing", "0")),
         "mp3"),
        ("SONG.FLAC", read(audio(tmp, "s.flac", "-c:a", "flac")), "flac"),
        ("SONG.OGG", read(audio(tmp, "s.ogg", "-c:a", "libvorbis")), "ogg"),
        ("VOICE.OPUS", read(audio(tmp, "v.opus", "-c:a", "libopus", "-b:a", "32k")), "opus"),
        ("SOUND.WAV", read(audio(tmp, "w.wav", "-c:a", "pcm_s16le", seconds=1)), "wav"),
        ("PIC.BMP", None, "bmp"),
        ("PIC.PSD", None, "psd"),
        ("PIC.WEBP", None, "webp"),
        ("PIC.TIF", None, "tif"),
        ("PIC.HEIC", None, "heic"),
        ("PHOTO.JPG", jpeg_with_time(rng), "jpg"),
        ("ARCH.7Z", None, "7z"),
        ("BOOK.XLSX", office_zip("xl"), "xlsx"),
        ("SLIDES.PPTX", office_zip("ppt"), "pptx"),
        ("LETTER.DOCX", cf.docx(rng), "docx"),
        ("NOTES.PDF", cf.pdf(rng, 4), "pdf"),
        ("RAW.NEF", read(tiff_raw(tmp, "r.nef", "NIKON CORPORATION", False, rng)), "nef"),
        ("RAW.DNG", read(tiff_raw(tmp, "r.dng", "Maker", True, rng)), "dng"),
        ("RAW.RAF", raf(rng), "raf"),
        ("RAW.CR3", read(os.path.join(SAMPLES, "CanonRaw.cr3")), "cr3"),
        ("OLD.PPT", read(os.path.join(SAMPLES, "FlashPix.ppt")), "ppt"),
    ]
    out = []
    for name, data, ext in files:
        if data is None:
            target = os.path.join(tmp, "p." + ext)
            if ext == "heic":
                run("heif-enc", "-q", "60", picture, "-o", target)
            elif ext == "7z":
                for i in range(3):
                    with open(os.path.join(tmp, f"part{i}.bin"), "wb") as f:
                        f.write(rng.randbytes(20000) + b"text " * 4000)
                run("7z", "a", "-bd", target, "part0.bin", "part1.bin", "part2.bin", cwd=tmp)
            else:
                run("convert", picture, target)
            data = read(target)
        out.append((name, data, ext))
    return out


def showfat(img, path):
    import re
    text = subprocess.run(["mshowfat", "-i", img, "::/" + path], check=True, env=ENV, capture_output=True,
                          text=True).stdout
    clusters = []
    for a, b in re.findall(r"<(\d+)(?:-(\d+))?>", text):
        clusters.extend(range(int(a), int(b or a) + 1))
    return clusters


def row(path, data, state, first, notes):
    return f"{path}\tfile\t{len(data)}\t{hashlib.sha256(data).hexdigest()}\t{state}\t-\tyes\t{first}\t{notes}\n"


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    missing = [t for t in TOOLS if shutil.which(t) is None]
    try:
        import tifffile  # noqa: F401
    except ImportError:
        missing.append("python3-tifffile")
    if missing:
        print("card-media: skipped (missing " + ", ".join(missing) + "; tools/setup-debian.sh)", file=sys.stderr)
        return
    outdir = argv[1]
    os.makedirs(outdir, exist_ok=True)
    rng = random.Random(2401)
    img = os.path.join(outdir, "card-media.img")
    tmp = tempfile.mkdtemp(prefix="media-card.")
    try:
        files = make_files(tmp, rng)
        rng.shuffle(files)
        if os.path.exists(img):
            os.remove(img)
        with open(img, "wb") as f:
            f.truncate(32 << 20)
        mkfs = ["mkfs.fat", "-F", "16", "-s", "8", "-n", "MEDIA", "-i", "ca4d0049", "--invariant", img]
        run(*mkfs)
        run("mmd", "-i", img, "::/DCIM")
        clusters = {}
        for name, data, _ in files:
            local = os.path.join(tmp, "out.bin")
            with open(local, "wb") as f:
                f.write(data)
            run("mcopy", "-i", img, local, "::/DCIM/" + name)
            clusters[name] = showfat(img, "DCIM/" + name)
        # A file written into a deleted one's clusters and on past the others.
        wav = next(f for f in files if f[0] == "SOUND.WAV")
        run("mdel", "-i", img, "::/DCIM/SOUND.WAV")
        frag = read(audio(tmp, "frag.ogg", "-c:a", "libvorbis", seconds=12, source="anoisesrc=seed=5"))
        assert len(frag) > len(wav[1]) + 8192
        local = os.path.join(tmp, "out.bin")
        with open(local, "wb") as f:
            f.write(frag)
        run("mcopy", "-i", img, local, "::/DCIM/FRAG.OGG")
        frag_clusters = showfat(img, "DCIM/FRAG.OGG")
        folder = showfat(img, "DCIM")[0]
        run(*mkfs)  # the quick format: new FATs and root, the data area untouched
        # The folder's own cluster overwritten: its files are found by carving alone.
        with open(img, "r+b") as f:
            boot = f.read(512)
            bps, spc, reserved, fats = struct.unpack_from("<HBHB", boot, 11)
            root_entries, _, _, fat_size = struct.unpack_from("<HHBH", boot, 17)
            data = (reserved + fats * fat_size) * bps + root_entries * 32
            f.seek(data + (folder - 2) * spc * bps)
            f.write(rng.randbytes(spc * bps))
    finally:
        shutil.rmtree(tmp)

    lost = set(frag_clusters)
    with open(os.path.join(outdir, "card-media.manifest.tsv"), "w") as m:
        m.write(HEADER)
        for name, data, ext in files:
            cl = clusters[name]
            contiguous = cl == list(range(cl[0], cl[0] + len(cl)))
            state = "carve=lost" if lost & set(cl) else "carve=whole" if contiguous else "carve=fragmented"
            m.write(row("DCIM/" + name, data, "formatted", cl[0], f"{state} ext={ext}"))
        contiguous = frag_clusters == list(range(frag_clusters[0], frag_clusters[0] + len(frag_clusters)))
        m.write(row("DCIM/FRAG.OGG", frag, "formatted", frag_clusters[0],
                    ("carve=whole" if contiguous else "carve=fragmented") + " ext=ogg"))


if __name__ == "__main__":
    main(sys.argv)
