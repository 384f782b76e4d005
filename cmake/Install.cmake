# Installation as a desktop application, the Debian package, and the tests
# that check both on the desktop side.
#
#   cmake --install build [--prefix /usr]   the program, its .desktop file,
#                                           hicolor icons and AppStream metainfo
#   cpack --config build/CPackConfig.cmake  coilrunner_<version>_<arch>.deb

include(GNUInstallDirs)

# The application id: the .desktop file's name, the icon's name and the
# AppStream id. app/main.cpp hands the same name to Qt, which gives it to the
# compositor on Wayland; on X11 the window matches through StartupWMClass.
set(COILRUNNER_APP_ID net.quillware.Coilrunner)
target_compile_definitions(coilrunner PRIVATE COILRUNNER_APP_ID="${COILRUNNER_APP_ID}")

# Icons: written at build time from the art in res/Icon.cpp.
add_executable(coilrunner_icons packaging/IconTool.cpp)
target_link_libraries(coilrunner_icons PRIVATE coilcore)

set(COILRUNNER_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(COILRUNNER_ICON_FILES)
foreach(size 16 32 48 64 128 256)
  list(APPEND COILRUNNER_ICON_FILES
       ${COILRUNNER_ICON_DIR}/hicolor/${size}x${size}/apps/${COILRUNNER_APP_ID}.png)
endforeach()
add_custom_command(
  OUTPUT ${COILRUNNER_ICON_FILES}
  COMMAND coilrunner_icons ${COILRUNNER_ICON_DIR} ${COILRUNNER_APP_ID}
  DEPENDS coilrunner_icons
  COMMENT "Drawing the application icons")
add_custom_target(coilrunner_icon_files ALL DEPENDS ${COILRUNNER_ICON_FILES})

configure_file(packaging/${COILRUNNER_APP_ID}.metainfo.xml.in
               ${CMAKE_CURRENT_BINARY_DIR}/${COILRUNNER_APP_ID}.metainfo.xml @ONLY)

install(TARGETS coilrunner RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/${COILRUNNER_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${COILRUNNER_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${COILRUNNER_ICON_DIR}/hicolor
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# The Debian package.
set(CPACK_GENERATOR DEB)
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
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.example.com/)
set(CPACK_STRIP_FILES ON)
# The libraries the program links, with their versions, come from
# dpkg-shlibdeps (package dpkg-dev). What Qt and the program load at run time
# is named here: the xcb platform plugin comes with libqt6gui6 (linked), the
# Wayland one with qt6-wayland, the dialog font with fonts-dejavu-core and its
# condensed face, which the dialog layout is measured in, with
# fonts-dejavu-extra, and the event sounds that libcanberra plays with
# sound-theme-freedesktop.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, fonts-dejavu-extra")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, sound-theme-freedesktop")
include(CPack)

if(COILRUNNER_TESTS)
  # The installed files pass the freedesktop validators, and every icon is a
  # whole-factor enlargement of its art.
  add_test(NAME Desktop.InstalledFilesValidate
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/install_test.sh
                   ${CMAKE_BINARY_DIR} ${COILRUNNER_APP_ID})
  set_tests_properties(Desktop.InstalledFilesValidate PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)

  # A whole game on a real X server, from the Start button to the file.
  add_test(NAME Desktop.EndToEndOnX
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/e2e_test.sh $<TARGET_FILE:coilrunner>)
  set_tests_properties(Desktop.EndToEndOnX PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)

  # The HiDPI tests again with every window at twice the size.
  if(TARGET coilrunner_tests)
    add_test(NAME HiDpi.AtScaleFactor2
             COMMAND $<TARGET_FILE:coilrunner_tests> --gtest_filter=HiDpi.*)
    set_tests_properties(HiDpi.AtScaleFactor2 PROPERTIES
                         ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_SCALE_FACTOR=2")
  endif()
endif()
