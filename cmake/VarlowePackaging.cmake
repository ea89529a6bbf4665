# What makes the desktop program a Linux desktop application once installed: its menu entry,
# icon, AppStream description and manual page; and a Debian package of the whole
# (`cpack -G DEB` in the build folder), its version the programs' own.
set(VARLOWE_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/resources/desktop)
if(NOT VARLOWE_HEADLESS)
  install(FILES ${VARLOWE_DESKTOP_DIR}/com.ostrane.Varlowe.desktop
    DESTINATION share/applications)
  install(FILES ${VARLOWE_DESKTOP_DIR}/com.ostrane.Varlowe.metainfo.xml
    DESTINATION share/metainfo)
  set(app_icon ${PROJECT_SOURCE_DIR}/resources/icons/sipframe.svg)
  install(FILES ${app_icon}
    DESTINATION share/icons/hicolor/scalable/apps RENAME com.ostrane.Varlowe.svg)
  # The sizes a menu or a launcher without SVG support asks for, drawn from the SVG at build
  # time by ImageMagick (which ./run and ./test install); without it the SVG alone.
  find_program(VARLOWE_CONVERT convert)
  if(VARLOWE_CONVERT)
    set(icon_pngs)
    foreach(size 16 32 48 64 128 256)
      set(png ${PROJECT_BINARY_DIR}/icons/${size}x${size}/com.ostrane.Varlowe.png)
      add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/icons/${size}x${size}
        COMMAND ${VARLOWE_CONVERT} -background none -density 600 ${app_icon}
          -resize ${size}x${size} -depth 8 PNG32:${png}
        DEPENDS ${app_icon} VERBATIM)
      list(APPEND icon_pngs ${png})
      install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(varlowe_icons ALL DEPENDS ${icon_pngs})
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/docs/varlowe.1 DESTINATION share/man/man1)
endif()

file(STRINGS ${PROJECT_SOURCE_DIR}/src/engine/product_info.h version_line
  REGEX "kProductVersion = \"[0-9.]+\"")
string(REGEX MATCH "[0-9.]+" VARLOWE_PRODUCT_VERSION "${version_line}")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varlowe)
set(CPACK_PACKAGE_VERSION ${VARLOWE_PRODUCT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ostrane Software")
set(CPACK_PACKAGE_CONTACT "Ostrane Software <varlowe@ostrane.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "call-flow ladders of SIP voice and video captures")
set(CPACK_PACKAGE_INSTALL_DIRECTORY varlowe)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://varlowe.ostrane.com)
# The libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
