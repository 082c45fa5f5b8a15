# The version in words, made from project()'s version and the commit built:
#
#   1.2.0                        the commit is exactly the tag v1.2.0
#   1.2.0-dev+0123456789ab       any other commit (its first 12 hex digits)
#   1.2.0-dev+unknown            not built from a git checkout
#
# so that a build in between two releases can never pass for one. The commit's digits are cut
# from the full hash, not asked of `git rev-parse --short`, which lengthens them in a clone that
# holds more objects: two clones of one commit must say the same.
#
#   fraywick_version_in_words(<numeric version> <source dir> <out: words> <out: commit>
#                             <out: git files that move with HEAD and the tags>)
#
# <out: commit> is the full hash, or "unknown". Usable from a project and from a -P script.
function(fraywick_version_in_words numeric source_dir words_out commit_out files_out)
  set(${words_out} "${numeric}-dev+unknown" PARENT_SCOPE)
  set(${commit_out} unknown PARENT_SCOPE)
  set(${files_out} "" PARENT_SCOPE)
  find_package(Git QUIET)
  if(NOT GIT_EXECUTABLE)
    return()
  endif()
  macro(git_answer out)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C "${source_dir}" ${ARGN} OUTPUT_VARIABLE ${out}
                    RESULT_VARIABLE git_status OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(NOT git_status EQUAL 0)
      set(${out} "")
    endif()
  endmacro()
  git_answer(commit rev-parse -q --verify "HEAD^{commit}")
  if(NOT commit MATCHES "^[0-9a-f]+$")
    return()
  endif()
  git_answer(tagged rev-parse -q --verify "refs/tags/v${numeric}^{commit}")
  if(tagged STREQUAL commit)
    set(${words_out} "${numeric}" PARENT_SCOPE)
  else()
    string(SUBSTRING "${commit}" 0 12 short)
    set(${words_out} "${numeric}-dev+${short}" PARENT_SCOPE)
  endif()
  set(${commit_out} "${commit}" PARENT_SCOPE)

  # What a commit, a checkout or a tag rewrites: HEAD, the branch HEAD stands on (or the folder
  # its loose file appears in, while it is packed), the tags' folder and packed-refs. Paths from
  # git itself, so that a worktree's HEAD and the refs it shares with its repository are found.
  git_answer(branch symbolic-ref -q HEAD)
  set(paths HEAD packed-refs refs/tags)
  if(branch)
    list(APPEND paths "${branch}")
  endif()
  list(TRANSFORM paths PREPEND "--git-path;")
  git_answer(found rev-parse --path-format=absolute ${paths})
  string(REPLACE "\n" ";" found "${found}")
  set(files)
  foreach(path IN LISTS found)
    if(EXISTS "${path}")
      list(APPEND files "${path}")
    elseif(path MATCHES "/refs/heads/")
      # A packed branch: its next commit writes a loose file into the nearest folder there is.
      cmake_path(GET path PARENT_PATH folder)
      while(NOT IS_DIRECTORY "${folder}")
        cmake_path(GET folder PARENT_PATH folder)
      endwhile()
      list(APPEND files "${folder}")
    endif()
  endforeach()
  set(${files_out} "${files}" PARENT_SCOPE)
endfunction()

# The version block players see under a Windows file's Properties > Details, made from
# src/plugin/version.rc.in: project()'s numbers and the version in words (FRAYWICK_VERSION).
#
#   fraywick_version_resource(<out: .rc file> <name> <file name> <VFT_DLL or VFT_APP>
#                             <description>)
function(fraywick_version_resource out module_name module_file module_type module_description)
  configure_file(${PROJECT_SOURCE_DIR}/src/plugin/version.rc.in ${out} @ONLY)
endfunction()
