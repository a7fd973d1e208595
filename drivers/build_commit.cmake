# Writes OUT, a header defining NET1_COMMIT as the commit that the sources
# in SOURCE_DIR are at, rewriting it only when that changes (so that only
# the file that includes it is compiled again). Run at every build.
set(commit "unknown")
if(GIT)
  execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" rev-parse HEAD
    OUTPUT_VARIABLE head RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed AND head)
    set(commit "${head}")
    # Uncommitted changes to tracked files make the build differ from the commit.
    execute_process(COMMAND "${GIT}" -C "${SOURCE_DIR}" --no-optional-locks status --porcelain --untracked-files=no
      OUTPUT_VARIABLE changes RESULT_VARIABLE failed ERROR_QUIET)
    if(NOT failed AND changes)
      string(APPEND commit "-dirty")
    endif()
  endif()
endif()
file(WRITE "${OUT}.new" "#define NET1_COMMIT \"${commit}\"\n")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
