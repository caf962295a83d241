# Run at build time: writes OUTPUT from TEMPLATE with COMMIT_ID set to the
# commit of SOURCE_DIR (`git rev-parse HEAD`), or 40 zeros when git or the
# repository is missing. configure_file leaves OUTPUT alone when the text is
# unchanged, so its users are only rebuilt after a new commit.
set(COMMIT_ID "0000000000000000000000000000000000000000")
find_program(GIT_PROGRAM git)
if(GIT_PROGRAM)
  execute_process(
    COMMAND ${GIT_PROGRAM} -C ${SOURCE_DIR} rev-parse HEAD
    RESULT_VARIABLE git_result
    OUTPUT_VARIABLE git_output
    ERROR_QUIET
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(TOLOWER "${git_output}" git_output)
  if(git_result EQUAL 0 AND git_output MATCHES "^[0-9a-f]+$")
    string(LENGTH "${git_output}" git_length)
    if(git_length EQUAL 40)
      set(COMMIT_ID "${git_output}")
    endif()
  endif()
endif()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
