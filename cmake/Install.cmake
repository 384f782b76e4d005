# Installation as a desktop application, the Debian package, and the tests
# that check both on the desktop side.
#
#   cmake --install build [--prefix /usr]   the program in bin/, its .desktop
#                                           file, hicolor icons, AppStream
#                                           metainfo, manual page, copyright
#                                           and changelog
#   cpack --config build/CPackConfig.cmake  coilrunner_<version>_<arch>.deb,
#                                           the same with the program in
#                                           /usr/games

include(GNUInstallDirs)

# The application id: the .desktop file's name, the icon's name and the
# AppStream id. app/main.cpp hands the same name to Qt, which gives it to the
# compositor on Wayland; on X11 the window matches through StartupWMClass.
set(COILRUNNER_APP_ID net.quillware.Coilrunner)
target_compile_definitions(coilrunner PRIVATE COILRUNNER_APP_ID="${COILRUNNER_APP_ID}")

# The maker's web address, set once for the whole build: "Go to Quillware
# website" opens it (res/Strings.cpp), and it is the metainfo's homepage and
# the package's Homepage field. An http or https address of the characters
# an address may hold unescaped, so that it goes as it is into a C string, a
# control field and (with & escaped) XML. The program takes it from a header
# written here rather than from a compiler definition, which CMake drops
# where the value holds a # (an address's fragment).
set(COILRUNNER_HOMEPAGE "https://www.example.com/" CACHE STRING
    "The web address of the maker's site, which the game's Help menu opens")
if(NOT COILRUNNER_HOMEPAGE MATCHES "^https?://[-A-Za-z0-9._~:/?#@!$&'()*+,;=%]+$")
  message(FATAL_ERROR "COILRUNNER_HOMEPAGE must be an http:// or https:// address without "
                      "spaces, quotes, backslashes, < or > (write them with %): ${COILRUNNER_HOMEPAGE}")
endif()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/res/Homepage.h @ONLY
     CONTENT "// Written by cmake/Install.cmake from the build setting COILRUNNER_HOMEPAGE.\n#define COILRUNNER_HOMEPAGE \"@COILRUNNER_HOMEPAGE@\"\n")
target_include_directories(coilcore PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
string(REPLACE "&" "&amp;" COILRUNNER_HOMEPAGE_XML "${COILRUNNER_HOMEPAGE}")

# Icons: written at build time from the art in res/Icon.cpp.
add_executable(coilrunner_icons packaging/IconTool.cpp)
target_link_libraries(coilrunner_icons PRIVATE coilcore)

set(COILRUNNER_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(COILRUNNER_ICON_FILES)
foreach(size 16 32 48 64 128 256)
  list(APPEND COILRUNNER_ICON_FILES
       ${COILRUNNER_ICON_DIR}/hicolor/${size}x${size}/apps/${COILRUNNER_APP_ID}.png)
endforeach()
list(APPEND COILRUNNER_ICON_FILES ${COILRUNNER_ICON_DIR}/hicolor/scalable/apps/${COILRUNNER_APP_ID}.svg)
add_custom_command(
  OUTPUT ${COILRUNNER_ICON_FILES}
  COMMAND coilrunner_icons ${COILRUNNER_ICON_DIR} ${COILRUNNER_APP_ID}
  DEPENDS coilrunner_icons
  COMMENT "Drawing the application icons")
add_custom_target(coilrunner_icon_files ALL DEPENDS ${COILRUNNER_ICON_FILES})

configure_file(packaging/${COILRUNNER_APP_ID}.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/${COILRUNNER_APP_ID}.metainfo.xml @ONLY)

# The manual page and the changelog, compressed at build time as Debian wants
# them: gzip -9n leaves the name and the time out, so the same text always
# gives the same bytes.
find_program(GZIP gzip REQUIRED)
set(COILRUNNER_DOC_DIR ${CMAKE_CURRENT_BINARY_DIR}/doc)
configure_file(packaging/coilrunner.6.in ${COILRUNNER_DOC_DIR}/coilrunner.6 @ONLY)
set(COILRUNNER_DOC_FILES)
foreach(source ${COILRUNNER_DOC_DIR}/coilrunner.6 ${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog)
  get_filename_component(name ${source} NAME)
  set(copy ${COILRUNNER_DOC_DIR}/gz/${name})
  add_custom_command(
    OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${GZIP} -9nf ${copy}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND COILRUNNER_DOC_FILES ${copy}.gz)
endforeach()
add_custom_target(coilrunner_doc_files ALL DEPENDS ${COILRUNNER_DOC_FILES})
set(COILRUNNER_MANUAL_PAGE ${COILRUNNER_DOC_DIR}/gz/coilrunner.6.gz)

# Two places for the program from one build. cmake --install puts it in bin/
# (component "program"); the Debian package takes the "debian" component,
# which puts it in games/, /usr/games being where Debian keeps its games, and
# every file of the default component. Each writes the .desktop file with
# the Exec and TryExec of the program where it went.
function(coilrunner_install_program component bindir)
  install(TARGETS coilrunner RUNTIME DESTINATION ${bindir} COMPONENT ${component} ${ARGN})
  install(CODE "
    set(COILRUNNER_BINDIR [[${bindir}]])
    set(COILRUNNER_DATADIR [[${CMAKE_INSTALL_DATADIR}]])
    set(COILRUNNER_APP_ID [[${COILRUNNER_APP_ID}]])
    set(COILRUNNER_DESKTOP_TEMPLATE [[${CMAKE_CURRENT_SOURCE_DIR}/packaging/${COILRUNNER_APP_ID}.desktop]])
    set(COILRUNNER_STRIP [[${CMAKE_STRIP}]])
    include([[${CMAKE_CURRENT_SOURCE_DIR}/cmake/InstallProgram.cmake]])"
    COMPONENT ${component} ${ARGN})
endfunction()
coilrunner_install_program(program ${CMAKE_INSTALL_BINDIR})
coilrunner_install_program(debian games EXCLUDE_FROM_ALL)

install(FILES ${COILRUNNER_MANUAL_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES packaging/copyright ${COILRUNNER_DOC_DIR}/gz/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${COILRUNNER_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${COILRUNNER_ICON_DIR}/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# The Debian package.
set(CPACK_GENERATOR DEB)
# The default component's files and the program in games/, as above.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${CMAKE_BINARY_DIR};coilrunner;Unspecified;/"
    "${CMAKE_BINARY_DIR};coilrunner;debian;/")
set(CPACK_PACKAGE_NAME coilrunner)
set(CPACK_PACKAGE_VENDOR Quillware)
set(CPACK_PACKAGE_CONTACT "Quillware <games@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Quillware Coilrunner, an arcade snake game")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Steer a snake around a walled playfield and eat the white blocks; each
block scores, lengthens the snake and makes the game faster. The ten best
results are kept with the players' names.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${COILRUNNER_HOMEPAGE}")
set(CPACK_STRIP_FILES ON)
# The libraries the program links, with their versions, come from
# dpkg-shlibdeps (package dpkg-dev). What Qt and the program load at run time
# is named here: the xcb platform plugin comes with libqt6gui6 (linked), the
# Wayland one with qt6-wayland; the dialog font's condensed face, which the
# dialog layout is measured in, with fonts-dejavu-extra, which brings the
# plain face (fonts-dejavu-core) along. libcanberra0, loaded with the first
# sound, brings the event sounds (sound-theme-freedesktop) and plays them
# through ALSA; where a sound server runs, libcanberra-pulse hands them to it
# as event sounds (role "event"), under the desktop's alert volume.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-extra, libcanberra0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, libcanberra-pulse")
include(CPack)

if(COILRUNNER_TESTS)
  # The installed files pass the freedesktop validators, and every icon is a
  # whole-factor enlargement of its art.
  add_test(NAME Desktop.InstalledFilesValidate
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/install_test.sh
                   ${CMAKE_BINARY_DIR} ${COILRUNNER_APP_ID})
  set_tests_properties(Desktop.InstalledFilesValidate PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)

  # The installed menu entry started through gio launch by a player who is
  # not root: the game runs in the player's data folder, with the table the
  # home folder held copied over, wherever the launcher was.
  add_test(NAME Desktop.MenuEntryRunsInTheDataFolder
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/menu_start_test.sh
                   ${CMAKE_BINARY_DIR} ${COILRUNNER_APP_ID})
  set_tests_properties(Desktop.MenuEntryRunsInTheDataFolder PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)

  # The web address comes from COILRUNNER_HOMEPAGE alone: a build configured
  # with another one has it in the program, the metainfo and the package.
  add_test(NAME Build.HomepageFromOneSetting
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/homepage_test.sh
                   ${CMAKE_COMMAND} ${CMAKE_CURRENT_SOURCE_DIR})
  set_tests_properties(Build.HomepageFromOneSetting PROPERTIES TIMEOUT 300)

  # The Debian package, built by cpack, passes lintian with no error and no
  # warning and installs the game in /usr/games. The sanitized build skips it.
  add_test(NAME Package.DebianLintianClean
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/package_test.sh
                   ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR} ${COILRUNNER_APP_ID}
                   $<BOOL:${COILRUNNER_SANITIZE}>)
  set_tests_properties(Package.DebianLintianClean PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)

  # The manual page renders without warnings and agrees with --help and
  # --version; the command line works with no display at all.
  add_test(NAME Desktop.ManualPage
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/manpage_test.sh
                   ${COILRUNNER_MANUAL_PAGE} $<TARGET_FILE:coilrunner>)
  add_test(NAME Desktop.CommandLineWithoutDisplay
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/cmdline_test.sh
                   $<TARGET_FILE:coilrunner> ${PROJECT_VERSION})
  set_tests_properties(Desktop.ManualPage Desktop.CommandLineWithoutDisplay PROPERTIES TIMEOUT 120)

  # A whole game on a real X server, from the Start button to the file.
  add_test(NAME Desktop.EndToEndOnX
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/e2e_test.sh $<TARGET_FILE:coilrunner>)
  set_tests_properties(Desktop.EndToEndOnX PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)

  # The game started 25 times in a row on an X server that starts over each
  # time its last client leaves.
  add_test(NAME Desktop.RepeatedStartsOnResettingX
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/restart_test.sh $<TARGET_FILE:coilrunner>)
  set_tests_properties(Desktop.RepeatedStartsOnResettingX PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)

  # Displays that take the connection and never answer, or answer with no
  # protocol: one line and status 1 within a few seconds, or X where a
  # compositor does not answer and an X server does.
  add_test(NAME Desktop.DisplaysThatDoNotAnswer
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/silent_display_test.sh $<TARGET_FILE:coilrunner>)
  set_tests_properties(Desktop.DisplaysThatDoNotAnswer PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)

  # Scale factors that are no number, or too large for any screen, and the
  # memory under Xft.dpi 100000 beside a bare Qt dialog's (a benchmark
  # target, built where Google Benchmark is installed).
  if(TARGET coilrunner_bare_dialog)
    add_test(NAME Desktop.AbsurdScaleFactors
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/absurd_scale_test.sh $<TARGET_FILE:coilrunner>
                     $<TARGET_FILE:coilrunner_bare_dialog> $<BOOL:${COILRUNNER_SANITIZE}>)
    set_tests_properties(Desktop.AbsurdScaleFactors PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE 77)
  endif()

  # Started with a startup id, as a launcher honouring StartupNotify starts
  # it, the game ends the launcher's notification when its window shows.
  if(TARGET coilrunner_startup_watch)
    add_test(NAME Desktop.StartupNotificationOnX
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/startup_test.sh
                     $<TARGET_FILE:coilrunner> $<TARGET_FILE:coilrunner_startup_watch>)
    set_tests_properties(Desktop.StartupNotificationOnX PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
  endif()

  # Started with an activation token on Wayland, the game hands it back to
  # the compositor with its main window.
  add_test(NAME Desktop.ActivationOnWayland
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/activation_test.sh $<TARGET_FILE:coilrunner>)
  set_tests_properties(Desktop.ActivationOnWayland PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)

  # The eating sound on a PulseAudio server started for the test, and without
  # any sound server.
  if(TARGET coilrunner_sound_driver)
    add_test(NAME Desktop.EventSoundOnASoundServer
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/sound_test.sh $<TARGET_FILE:coilrunner_sound_driver>)
    set_tests_properties(Desktop.EventSoundOnASoundServer PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
  endif()

  # A screen-reader client on a real AT-SPI bus: the settings' radio buttons
  # and their state, the score on the focused play area.
  if(TARGET coilrunner_a11y_driver)
    add_test(NAME Desktop.ScreenReaderOverAtSpi
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/accessibility_test.sh
                     $<TARGET_FILE:coilrunner_a11y_driver>)
    set_tests_properties(Desktop.ScreenReaderOverAtSpi PROPERTIES TIMEOUT 400 SKIP_RETURN_CODE 77)
  endif()

  # A whole game on a headless Wayland compositor, the input posted through
  # the toolkit by a driver that runs the real main window: on Weston, which
  # leaves the title bars to the program, and on sway, which draws them.
  add_test(NAME Desktop.EndToEndOnWayland
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/wayland_test.sh weston
                   $<TARGET_FILE:coilrunner> $<TARGET_FILE:coilrunner_wayland_driver>)
  add_test(NAME Desktop.EndToEndOnWaylandCompositorTitleBars
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/wayland_test.sh sway
                   $<TARGET_FILE:coilrunner> $<TARGET_FILE:coilrunner_wayland_driver>)
  set_tests_properties(Desktop.EndToEndOnWayland Desktop.EndToEndOnWaylandCompositorTitleBars
                       PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)

  # On GNOME's compositor, mutter, headless: the same whole game, every dialog
  # marked modal; and every dialog centred over the main window and keeping
  # the keyboard when the main window is clicked. Without the remote tool
  # (no PipeWire headers at build time) both skip.
  if(TARGET coilrunner_mutter_remote)
    set(COILRUNNER_MUTTER_REMOTE $<TARGET_FILE:coilrunner_mutter_remote>)
  else()
    set(COILRUNNER_MUTTER_REMOTE ${CMAKE_BINARY_DIR}/coilrunner_mutter_remote-not-built)
  endif()
  add_test(NAME Desktop.EndToEndOnGnomeWayland
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/wayland_test.sh mutter
                   $<TARGET_FILE:coilrunner> $<TARGET_FILE:coilrunner_wayland_driver> ${COILRUNNER_MUTTER_REMOTE})
  add_test(NAME Desktop.ModalDialogsOnGnomeWayland
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/mutter_modal_test.sh
                   $<TARGET_FILE:coilrunner_modal_driver> ${COILRUNNER_MUTTER_REMOTE})
  set_tests_properties(Desktop.EndToEndOnGnomeWayland Desktop.ModalDialogsOnGnomeWayland
                       PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)

  # The caption bar in a GNOME session on GNOME's compositor, headless: the
  # desktop's dark and light style and its button layouts, read from its
  # settings portal at the start and followed as they change; the inactive
  # look; the window menu from a right click on the bar, Shift+F10 and the
  # Menu key; Alt+Space kept by the compositor.
  if(TARGET coilrunner_titlebar_driver)
    add_test(NAME Desktop.GnomeTitleBarOnMutter
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/gnome_titlebar_test.sh
                     $<TARGET_FILE:coilrunner_titlebar_driver>
                     ${COILRUNNER_MUTTER_REMOTE})
    set_tests_properties(Desktop.GnomeTitleBarOnMutter PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
  endif()

  # The steering keys pressed by key code on US, French, German, Russian,
  # US+Russian (Russian group locked) and Greek layouts, on a real X server
  # and on a headless wlroots compositor.
  foreach(mode x11 wayland)
    add_test(NAME Desktop.SteeringKeysOnLayouts.${mode}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/keys_test.sh ${mode}
                     $<TARGET_FILE:coilrunner_keys_driver>)
    set_tests_properties(Desktop.SteeringKeysOnLayouts.${mode} PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77)
  endforeach()

  # The HiDPI tests again with every window at twice the size, and at the
  # fractional factors, which the program rounds to whole ones.
  if(TARGET coilrunner_tests)
    # factor:the whole factor it becomes
    foreach(pair 2:2 1.25:1 1.5:2 1.75:2)
      string(REPLACE ":" ";" pair ${pair})
      list(GET pair 0 scale)
      list(GET pair 1 whole)
      string(REPLACE "." "_" name ${scale})
      add_test(NAME HiDpi.AtScaleFactor${name}
               COMMAND $<TARGET_FILE:coilrunner_tests> --gtest_filter=HiDpi.*)
      set_tests_properties(HiDpi.AtScaleFactor${name} PROPERTIES
                           ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=${scale};HIDPI_EXPECTED_RATIO=${whole}")
    endforeach()
  endif()
endif()
