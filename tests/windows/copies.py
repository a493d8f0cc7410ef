# SPDX-License-Identifier: GPL-3.0-or-later
"""The files of a recovery under wine beside the Linux one's: each file's
SHA-256 by its path, and the paths a Windows copy cannot hold as they are."""
import hashlib
import os
import re

REFUSED = re.compile(r'[<>:"|?*\x00-\x1f]|[. ]$|^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9]) *(\.|$)', re.I)


def tree(root):
    """SHA-256 of every file below root, by its path relative to root."""
    files = {}
    for folder, _, names in os.walk(root):
        for n in names:
            path = os.path.join(folder, n)
            with open(path, 'rb') as f:
                files[os.path.relpath(path, root)] = hashlib.sha256(f.read()).hexdigest()
    return files


def comparable(paths):
    """The paths a Windows copy holds as named: none of their parts refused,
    and no other path that differs only in case (one name on Windows)."""
    paths = list(paths)
    return [p for p in paths
            if not any(REFUSED.search(part) for part in p.split(os.sep))
            and sum(1 for o in paths if o.lower() == p.lower()) == 1]
