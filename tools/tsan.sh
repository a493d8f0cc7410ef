#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# ThreadSanitizer: builds in build-tsan the core tests that start threads (the
# save worker, the file search, the MFT read-ahead and the MFT scan's second
# thread: the rest of the core runs on one thread), the jobs of src/session
# (tests/session), the command line's listing
# and tree text written by two threads,
# and the desktop program's tests, and runs them, the Qt tests of the workers
# on the offscreen platform: the scan (stopped mid-way, the stop refused, the window
# closed while it runs), the save (stopped and a file skipped while the copy
# waits on a read), the find (paused by its stop question, then let go on or
# stopped), the open (its copy runs on the window's thread: no worker of
# its own, run here for the copy it shares with the save) and the deep search.
# Qt's own libraries are not instrumented; tools/tsan.supp says what that
# hides and which test is left out for it.  Usage: tools/tsan.sh      Exit status non-zero on a report.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSARVIK_WERROR=ON \
    -DSARVIK_SANITIZE_THREAD=ON "${launcher[@]}" >/dev/null
cmake --build build-tsan --target core_thread_tests session_tests cli_tests sarvik app_tests app_results_tests app_deep_tests
rm -rf build-tsan/test-volumes && ln -s ../build/test-volumes build-tsan/test-volumes
# die_after_fork=0: the Qt tests make their volumes with mtools through
# QProcess, which forks while Qt's threads run; the child only runs exec.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 ignore_noninstrumented_modules=1 suppressions=$PWD/tools/tsan.supp"
export QT_QPA_PLATFORM=offscreen LANG=C LC_ALL=C LANGUAGE= MTOOLS_SKIP_CHECK=1
build-tsan/bin/core_thread_tests --gtest_brief=1
# The presentation layer's jobs: scan, find, copy and lost-volume search on their workers.
build-tsan/bin/session_tests --gtest_brief=1
build-tsan/bin/cli_tests --gtest_brief=1 --gtest_filter='*TwoThreads*'
# The command line's own threads on an MFT of 50,000 records: the MFT read by
# two threads, and the tree's text and the JSON lines each made by two.
for args in "" --json --live; do
    build-tsan/bin/sarvik scan build/test-volumes/ntfs-mft.img $args >/dev/null
done
build-tsan/bin/app_tests scanReachesResultsWithTreeAndRows stopAnsweredNoRunsToTheEnd \
    stopAnsweredYesEndsWithWhatWasFound closingDuringAScanStopsAndJoinsIt ntfsScanReachesResults
build-tsan/bin/app_results_tests savingBoxIgnoresEscapeAndStops skipCutsOneFileShort \
    findMatchesWithPaths findStopAnsweredNoAndYes openCopiesToPrivateFolderAndHandsOver
# The deep search: its worker copies what it has found for the page, and is
# stopped and joined while the window closes.
build-tsan/bin/app_deep_tests resultsFirstThenTheSearchAddsWhatItFinds stopDuringTheFreeSpacePassKeepsTheQuickResults
