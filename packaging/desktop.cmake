# The desktop parts of tarvex: menu entry, AppStream metadata, man page and the icon in the
# hicolor theme, as SVG and as PNG in the usual sizes for desktops that draw no SVG icons.
install(FILES tarvex.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# AppStream wants the file named after the component id.
install(FILES tarvex.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME org.tarvex.Tarvex.metainfo.xml)
install(FILES man/tarvex.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/gui/icons/tarvex.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

find_program(RSVG_CONVERT rsvg-convert)
if(NOT RSVG_CONVERT)
  message(WARNING "rsvg-convert not found: the PNG icons are left out (scripts/install-deps.sh)")
  return()
endif()
set(icon_pngs)
foreach(size 16 22 24 32 48 64 128 256)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/tarvex.png)
  add_custom_command(OUTPUT ${png}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
                     COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${CMAKE_SOURCE_DIR}/gui/icons/tarvex.svg
                     DEPENDS ${CMAKE_SOURCE_DIR}/gui/icons/tarvex.svg
                     COMMENT "Rendering the ${size}x${size} icon")
  list(APPEND icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(tarvex-icons ALL DEPENDS ${icon_pngs})
add_dependencies(tarvex-installed tarvex-icons)
