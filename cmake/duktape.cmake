# The script engine of the site's pages: Duktape, compiled into the build from
# the source that Debian's duktape-dev ships. The packaged library cannot stop a
# running script, so the engine is configured here with
#   - the execution-timeout check (and the interrupt counter it needs), which
#     asks Fennick every few thousand instructions whether the page must stop
#     (time limit reached, Response.End, memory cap);
#   - C++ exceptions for the engine's own throws, so that page objects written
#     in C++ unwind with their destructors instead of being skipped by longjmp.
# The check is a call through the heap's user data (fennick_duk_interrupt), so
# the engine needs no symbol from the rest of Fennick.
set(DUKTAPE_SOURCE_DIR /usr/share/duktape CACHE PATH "Folder holding duktape.c and duk_config.h")
foreach(f duktape.c duktape.h duk_config.h)
  if(NOT EXISTS ${DUKTAPE_SOURCE_DIR}/${f})
    message(FATAL_ERROR "${DUKTAPE_SOURCE_DIR}/${f} is missing: install duktape-dev")
  endif()
endforeach()

set(DUKTAPE_GEN_DIR ${CMAKE_BINARY_DIR}/duktape)
file(READ ${DUKTAPE_SOURCE_DIR}/duk_config.h DUKTAPE_CONFIG)
set(DUKTAPE_OVERRIDES [=[
/* Fennick: stop pages from outside the script. */
typedef struct fennick_duk_interrupt {
	int (*check)(struct fennick_duk_interrupt *self);
} fennick_duk_interrupt;
#define DUK_USE_INTERRUPT_COUNTER
#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) \
	((udata) != NULL && ((fennick_duk_interrupt *) (udata))->check((fennick_duk_interrupt *) (udata)))
#define DUK_USE_CPP_EXCEPTIONS
]=])
string(FIND "${DUKTAPE_CONFIG}" "/* __OVERRIDE_DEFINES__ */" DUKTAPE_MARK)
if(DUKTAPE_MARK EQUAL -1)
  message(FATAL_ERROR "duk_config.h has no override section; unsupported Duktape version")
endif()
string(REPLACE "/* __OVERRIDE_DEFINES__ */" "${DUKTAPE_OVERRIDES}" DUKTAPE_CONFIG "${DUKTAPE_CONFIG}")
file(CONFIGURE OUTPUT ${DUKTAPE_GEN_DIR}/duk_config.h CONTENT "${DUKTAPE_CONFIG}" @ONLY)
configure_file(${DUKTAPE_SOURCE_DIR}/duktape.h ${DUKTAPE_GEN_DIR}/duktape.h COPYONLY)
# Compiled as C++ (the .cc name), which DUK_USE_CPP_EXCEPTIONS requires.
configure_file(${DUKTAPE_SOURCE_DIR}/duktape.c ${DUKTAPE_GEN_DIR}/duktape.cc COPYONLY)

# Fennick's reader of engine objects (src/platform/script/engine_fingerprint.h)
# needs the engine's internal layout, so it is compiled in the same
# translation unit, after the engine's source.
file(CONFIGURE OUTPUT ${DUKTAPE_GEN_DIR}/duktape_fennick.cc CONTENT
  "#include \"duktape.cc\"\n#include <cstdint>\n#include \"${CMAKE_SOURCE_DIR}/src/platform/script/engine_fingerprint.h\"\n#include \"${CMAKE_SOURCE_DIR}/src/platform/script/engine_fingerprint.inc\"\n")

add_library(duktape STATIC ${DUKTAPE_GEN_DIR}/duktape_fennick.cc)
# Third-party code: its own warnings are not Fennick's to fix.
target_compile_options(duktape PRIVATE -w)
target_include_directories(duktape SYSTEM BEFORE PUBLIC ${DUKTAPE_GEN_DIR})
target_link_libraries(duktape PUBLIC m)
