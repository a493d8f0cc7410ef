# SPDX-License-Identifier: GPL-3.0-or-later
"""An NTFS volume quick-formatted over a used one: mkntfs, files written
through ntfs-3g (PNGs, which carving recognises, in nested folders; text; one
file at the root), then mkntfs -Q over it with the same geometry. Writes
OUTDIR/NAME.img and OUTDIR/NAME.manifest.tsv (path, SHA-256 of each file the
old volume held).
Usage: make-ntfs-reformat-volume.py OUTDIR NAME SIZE_MIB PICTURES TEXTS"""

import hashlib
import os
import random
import subprocess
import sys
import tempfile

sys.path[:0] = [os.path.dirname(os.path.abspath(__file__)),
                os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "carve")]
from ntfs3g_mount import Ntfs3gMount  # noqa: E402
import carve_files  # noqa: E402


def main():
    out, name, mib, pictures, texts = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
    img = os.path.join(out, name + ".img")
    with open(img, "wb") as f:
        f.truncate(mib << 20)
    mkntfs = ["mkntfs", "-F", "-q", "-Q", "-c", "4096", "-s", "512", "-p", "0", "-H", "1", "-S", "1"]
    subprocess.run(mkntfs + ["-L", "OLD", img], check=True, capture_output=True)
    rng = random.Random(31)
    files = {}
    for i in range(pictures):
        files["Photos/%d/img%04d.png" % (2020 + i % 7, i)] = carve_files.png(rng, 40 + i % 200, 32 + i % 7)
    words = ["alpha", "beta", "gamma", "delta", "north", "river"]
    for i in range(texts):
        text = " ".join(rng.choice(words) for _ in range(rng.randrange(20, 3000)))
        files["Docs/%s/letter%03d.txt" % ("Old" if i % 3 else "New", i)] = text.encode()
    files["readme.txt"] = b"a file at the root\n" * 40
    with tempfile.TemporaryDirectory() as mnt:
        mount = Ntfs3gMount(img, mnt)
        mount.mount()
        try:
            for path, data in files.items():
                os.makedirs(os.path.dirname(os.path.join(mnt, path)), exist_ok=True)
                with open(os.path.join(mnt, path), "wb") as f:
                    f.write(data)
        finally:
            mount.umount()
    subprocess.run(mkntfs + ["-L", "NEW", img], check=True, capture_output=True)
    with open(os.path.join(out, name + ".manifest.tsv"), "w") as m:
        for path, data in sorted(files.items()):
            m.write("%s\t%s\n" % (path, hashlib.sha256(data).hexdigest()))


if __name__ == "__main__":
    main()
