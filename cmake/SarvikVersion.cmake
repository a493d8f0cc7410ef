# SPDX-License-Identifier: GPL-3.0-or-later
# SARVIK_VERSION: the version the programs print and the packages carry.
#
# In a git checkout with a release tag vX.Y.Z reachable from HEAD it is taken
# from `git describe`: the tag itself (v0.2.0 -> 0.2.0), or, for commits after
# it, the tag, the number of commits since and the commit (v0.2.0-5-gabc1234 ->
# 0.2.0+git5.gabc1234, which Debian sorts after 0.2.0 and before 0.2.1). A
# hyphen inside the tag marks a pre-release (v0.3.0-rc1 -> 0.3.0~rc1, sorted
# before 0.3.0). Anywhere else (a source tarball, no tag) it is project()'s.
set(SARVIK_VERSION ${PROJECT_VERSION})
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${CMAKE_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --match "v*"
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE described RESULT_VARIABLE status
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(status EQUAL 0 AND described MATCHES "^v([0-9][0-9A-Za-z.+~-]*)$")
    set(tagged ${CMAKE_MATCH_1})
    set(since "")
    if(tagged MATCHES "^(.+)-([0-9]+)-g([0-9a-f]+)$")
      set(tagged ${CMAKE_MATCH_1})
      set(since "+git${CMAKE_MATCH_2}.g${CMAKE_MATCH_3}")
    endif()
    string(REPLACE "-" "~" tagged "${tagged}")
    set(SARVIK_VERSION "${tagged}${since}")
  elseif(status EQUAL 0)
    message(WARNING "git describe gave '${described}', not a version: using ${PROJECT_VERSION}")
  endif()
  # Configure again when HEAD moves or tags come and go, so that the version
  # follows the checkout.
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path HEAD --git-path packed-refs
    --git-path refs/tags --git-path refs/heads
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE git_paths ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${GIT_EXECUTABLE} symbolic-ref -q HEAD
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE branch ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(branch)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --git-path ${branch}
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} OUTPUT_VARIABLE branch_path ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(APPEND git_paths "\n${branch_path}")
  endif()
  string(REPLACE "\n" ";" git_paths "${git_paths}")
  foreach(path IN LISTS git_paths)
    cmake_path(ABSOLUTE_PATH path BASE_DIRECTORY ${CMAKE_SOURCE_DIR})
    if(EXISTS ${path})
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
    endif()
  endforeach()
endif()
# For the scripts that check the package (tools/check-package.sh).
set(SARVIK_VERSION ${SARVIK_VERSION} CACHE INTERNAL "The version of the programs and packages")
message(STATUS "Version: ${SARVIK_VERSION}")
