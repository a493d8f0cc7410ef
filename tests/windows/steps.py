# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks what the desktop program's boxes showed in a run through its
commands (--do steps) against the manifest of the test volume it scanned."""
import csv
import fnmatch
import subprocess
import sys


def manifest(path):
    with open(path, newline='', encoding='utf-8') as f:
        return list(csv.DictReader(f, delimiter='\t'))


def sections(log):
    """The lines of each step, by the step's text."""
    steps, name = {}, None
    for line in log:
        if line.startswith('self-test: step '):
            name = line[len('self-test: step '):]
            steps.setdefault(name, [])
            steps[name].append([])
        elif name is not None:
            steps[name][-1].append(line)
    return steps


def listing(lines):
    """The rows of the first listing of the file list in `lines`."""
    starts = [i for i, line in enumerate(lines) if line.startswith('self-test: ') and ' lists ' in line]
    rows = []
    for line in lines[starts[0] + 1:] if starts else []:
        if not line.startswith('  '):
            break
        rows.append(tuple(line[2:].split('\t')))
    return rows


def previews(steps, linux):
    """The preview's first lines against the bytes the Linux program copied."""
    problems = []
    for step, lines in steps.items():
        if not step.startswith('preview:'):
            continue
        name = step[len('preview:'):]
        with open(f'{linux}/{name}', 'rb') as f:
            data = f.read()
        shown = [line[4:] for line in lines[0] if line.startswith('  | ')]
        if '  shown as hex' in lines[0]:
            want = [f'{i * 16:08x}  ' + ' '.join(f'{b:02x}' for b in data[i * 16:i * 16 + 8]) + '  ' +
                    ' '.join(f'{b:02x}' for b in data[i * 16 + 8:i * 16 + 16]) for i in range(len(shown))]
            got = [line[:58].rstrip() for line in shown]
        else:
            want = data.decode('utf-8').splitlines()[:len(shown)]
            got = shown
        if not shown or got != want:
            problems.append(f'{step} shows {got[:2]}, the Linux copy begins {want[:2]}')
    return problems


def opened(steps, linux, entries):
    """Open copies a file where the program it opens with reads it, and
    lists a folder."""
    problems = []
    for step, runs in steps.items():
        if not step.startswith('open:'):
            continue
        name, lines = step[len('open:'):], runs[0]
        copied = [line.split(' as ', 1)[1] for line in lines if line.startswith('self-test: copied to open as ')]
        if copied:
            path = subprocess.run(['winepath', '-u', copied[0]], capture_output=True, text=True).stdout.strip()
            with open(path, 'rb') as got, open(f'{linux}/{name}', 'rb') as want:
                if got.read() != want.read():
                    problems.append(f'{step}: the copy opened differs from the Linux one')
            continue
        rows = sorted(r[0] for r in listing(lines))
        want = sorted(e['path'].split('/')[-1] for e in entries
                      if e['path'].startswith(name + '/') and e['path'].count('/') == 1
                      and (e['type'] == 'dir' or e['state'] == 'deleted'))
        if rows != want:
            problems.append(f'{step} lists {rows}, the volume holds {want}')
    return problems


def check(log, entries, snapshot):
    problems = []
    deleted = [e for e in entries if e['type'] == 'file' and e['state'] == 'deleted']
    steps = sections(log)

    def shown(step, text, run=0):
        lines = steps.get(step, [])
        if len(lines) <= run or text not in lines[run]:
            problems.append(f'{step}: "{text}" not shown; it showed: {lines[run] if len(lines) > run else "nothing"}')

    shown('drive-info', f'  Files: {len(deleted)}')
    big = max(deleted, key=lambda e: int(e['size']))
    size = int(big['size'])
    shown(f'properties:{big["path"].split("/")[-1]}', f'  Size: {size:,} bytes ({size // 1024 + 1} KB)')
    folder = 'Documents'
    files = [e for e in deleted if e['path'].startswith(folder + '/')]
    folders = [e for e in entries if e['type'] == 'dir' and e['path'].startswith(folder + '/')]
    shown(f'properties:{folder}', f'  Contains: {len(files)} File(s) and {len(folders)} Folder(s)')
    txt = [e for e in deleted if fnmatch.fnmatch(e['path'].lower(), '*.txt')]
    shown('find:*.txt', f'  Files Found: {len(txt)}')
    shown('settings', '  [x] Skip duplicate file(s)')  # the choice of settings:skip kept
    shown('find:x', 'self-test: find is not available now')  # grayed on the drive page

    first = listing(log)
    filtered = listing(steps.get('filter:*.bin', [[]])[0])
    want = sorted(e['path'] for e in deleted if '/' not in e['path'] and e['path'].endswith('.bin'))
    got = sorted(r[0] for r in filtered if len(r) > 2 and r[2])  # files have a Condition, folders none
    if got != want:
        problems.append(f'filter *.bin lists {got}, the volume holds {want}')
    saves = [lines[0] for step, lines in steps.items() if step.startswith('save:')]
    told = [line for line in (saves[0] if saves else []) if line.startswith('self-test: snapshot saved as ')]
    if not told or not told[0].startswith(f'self-test: snapshot saved as {snapshot} (') or \
            not told[0].endswith(f'; the status bar says: Snapshot saved as {snapshot}'):
        problems.append(f'the snapshot was not said saved as {snapshot} in the status bar: {told}')
    load = steps.get(f'load:{snapshot}', [[]])[0]
    loaded = listing(load)
    if any('File filter in force' in line for line in load):
        problems.append('the snapshot loaded still tells of the filter of the session before')
    if not first or sorted(loaded) != sorted(first):
        problems.append(f'the snapshot loaded lists {len(loaded)} rows, the scan {len(first)}')
    return problems


if __name__ == '__main__':
    log_path, manifest_path, snapshot, linux = sys.argv[1:5]
    with open(log_path, encoding='utf-8') as f:
        log = f.read().splitlines()
    entries = manifest(manifest_path)
    problems = check(log, entries, snapshot) + previews(sections(log), linux) + opened(sections(log), linux, entries)
    if not any(step.startswith('open:') for step in sections(log)):
        problems.append('nothing was opened')
    if not any(step.startswith('preview:') for step in sections(log)):
        problems.append('no preview was shown')
    for p in problems:
        print('desktop-check: steps: ' + p, file=sys.stderr)
    if not problems:
        print('desktop-check: steps: the boxes show what the volume holds', file=sys.stderr)
    sys.exit(1 if problems else 0)
