# SPDX-License-Identifier: GPL-3.0-or-later
"""An ntfs-3g FUSE mount of an image file, for the NTFS volume scripts here."""

import os
import subprocess
import time


class Ntfs3gMount:
    """Mounts `image` on `mnt` with ntfs-3g (in the foreground, so that umount
    waits for every write to reach the image) and unmounts it again."""

    def __init__(self, image, mnt, options="no_detach"):
        self.image, self.mnt, self.options, self.proc = image, mnt, options, None

    def mount(self):
        self.proc = subprocess.Popen(["ntfs-3g", "-o", self.options, self.image, self.mnt],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        for _ in range(200):
            if os.path.ismount(self.mnt):
                return
            if self.proc.poll() is not None:
                break
            time.sleep(0.05)
        raise SystemExit("ntfs-3g could not mount %s: %s" % (self.image, self.proc.stderr.read().decode()))

    def umount(self):
        if self.proc is None:
            return
        os.sync()
        subprocess.run(["umount", self.mnt], check=False)
        self.proc.wait()
        self.proc = None
