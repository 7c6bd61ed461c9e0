# cmake -DSOURCE_DIR=... -DOUTPUT=... -P CommitId.cmake
# Writes OUTPUT with the short commit id of SOURCE_DIR when it is the top of a
# git checkout, else an empty id (a copy without .git, or no git at all).
# OUTPUT is only rewritten when the id changes, so that nothing rebuilds
# without need.
set(_id "")
find_program(_git git)
if(_git)
    execute_process(COMMAND ${_git} -C ${SOURCE_DIR} rev-parse --show-toplevel --short=7 HEAD
        OUTPUT_VARIABLE _out RESULT_VARIABLE _rc ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(_rc EQUAL 0)
        string(REPLACE "\n" ";" _out "${_out}")
        list(GET _out 0 _top)
        list(GET _out 1 _hash)
        # Only the project's own checkout: a copy unpacked inside another
        # repository must not take that repository's commit.
        file(REAL_PATH "${_top}" _top)
        file(REAL_PATH "${SOURCE_DIR}" _src)
        if(_top STREQUAL _src)
            set(_id "${_hash}")
        endif()
    endif()
endif()
file(CONFIGURE OUTPUT ${OUTPUT} CONTENT "/* Generated at build time; do not edit. */\n#define ONEX_COMMIT \"${_id}\"\n")
