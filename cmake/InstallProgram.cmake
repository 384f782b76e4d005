# Runs at install time, after the program has been copied to
# <prefix>/<COILRUNNER_BINDIR>: cleans a stripped program as Debian's tools do
# and writes the .desktop file that starts it by its full path, so that the
# menu entry works whether or not that folder is on the PATH.
#
# Set by cmake/Install.cmake: COILRUNNER_BINDIR, COILRUNNER_DATADIR,
# COILRUNNER_APP_ID, COILRUNNER_DESKTOP_TEMPLATE, COILRUNNER_STRIP.

set(program "${CMAKE_INSTALL_PREFIX}/${COILRUNNER_BINDIR}/coilrunner")

# strip keeps the compiler's notes; a stripped program needs them no more.
if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND "${COILRUNNER_STRIP}" --remove-section=.comment --remove-section=.note
                          "$ENV{DESTDIR}${program}"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "Could not remove the notes from $ENV{DESTDIR}${program}")
  endif()
endif()

# TryExec is a plain string value: only a backslash needs escaping.
string(REPLACE "\\" "\\\\" COILRUNNER_TRYEXEC "${program}")

# Exec is a command line. A path with a reserved character goes in double
# quotes, inside which \ " ` and $ take a backslash; % is always doubled;
# and as in every string value each backslash is then escaped once more.
string(REPLACE "%" "%%" exec "${program}")
if(exec MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
  string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" COILRUNNER_EXEC "${exec}")

set(desktop "${CMAKE_INSTALL_PREFIX}/${COILRUNNER_DATADIR}/applications/${COILRUNNER_APP_ID}.desktop")
message(STATUS "Installing: $ENV{DESTDIR}${desktop}")
configure_file("${COILRUNNER_DESKTOP_TEMPLATE}" "$ENV{DESTDIR}${desktop}" @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "$ENV{DESTDIR}${desktop}")
