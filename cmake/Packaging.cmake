# How Quorvel is shipped: an agent app bundle with a drag-and-drop disk image on macOS; an
# ordinary desktop install with a .deb on Linux. The stand-in tools of the simulated platform
# go in only when asked (`cmake --install build --component sim`, or the quorvel-sim package).

include(GNUInstallDirs)
set(QUORVEL_APP_ICON ${CMAKE_SOURCE_DIR}/resources/icons/AppIcon.svg)

if(APPLE AND TARGET quorvel)
  # Quorvel.app: identity, version and build, LSUIElement (no Dock icon), the quorvel URL
  # scheme, and the icon rendered from our SVG at build time.
  configure_file(${CMAKE_SOURCE_DIR}/resources/macos/Info.plist.in ${CMAKE_BINARY_DIR}/Info.plist @ONLY)
  set_target_properties(quorvel PROPERTIES
    MACOSX_BUNDLE TRUE
    OUTPUT_NAME Quorvel
    MACOSX_BUNDLE_INFO_PLIST ${CMAKE_BINARY_DIR}/Info.plist)
  add_executable(quorvel-iconset ${CMAKE_SOURCE_DIR}/tools/iconset/IconsetMain.cpp)
  target_link_libraries(quorvel-iconset PRIVATE Qt6::Gui Qt6::Svg)
  set(_icns ${CMAKE_BINARY_DIR}/Quorvel.icns)
  add_custom_command(OUTPUT ${_icns}
    COMMAND quorvel-iconset ${QUORVEL_APP_ICON} ${CMAKE_BINARY_DIR}/Quorvel.iconset
    COMMAND iconutil -c icns -o ${_icns} ${CMAKE_BINARY_DIR}/Quorvel.iconset
    DEPENDS quorvel-iconset ${QUORVEL_APP_ICON}
    COMMENT "Quorvel.icns from AppIcon.svg")
  target_sources(quorvel PRIVATE ${_icns})
  set_source_files_properties(${_icns} PROPERTIES MACOSX_PACKAGE_LOCATION Resources)

  install(TARGETS quorvel BUNDLE DESTINATION . COMPONENT app)
  # macdeployqt puts Qt inside the bundle; an ad-hoc signature keeps Gatekeeper's checks of
  # the bundle's integrity working for a build that has no Developer ID.
  qt_generate_deploy_app_script(TARGET quorvel OUTPUT_SCRIPT _deploy NO_UNSUPPORTED_PLATFORM_ERROR)
  install(SCRIPT ${_deploy} COMPONENT app)
  install(CODE "execute_process(COMMAND codesign --force --deep --sign - \"\${CMAKE_INSTALL_PREFIX}/Quorvel.app\")"
          COMPONENT app)
  set(CPACK_GENERATOR DragNDrop)
  set(CPACK_DMG_VOLUME_NAME Quorvel)
  set(CPACK_PACKAGE_FILE_NAME "Quorvel-${PROJECT_VERSION}")
elseif(TARGET quorvel)
  install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT app)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/linux/app.quorvel.Quorvel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT app)
  if(EXISTS ${QUORVEL_APP_ICON})
    install(FILES ${QUORVEL_APP_ICON} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
            RENAME app.quorvel.Quorvel.svg COMPONENT app)
  endif()
  # The tray icon's pictures as symbolic icons, for panels that draw themed icons in their own
  # colours. A copy in the build tree lets tests and scripts/run find them (XDG_DATA_DIRS).
  file(GLOB QUORVEL_STATUS_ICONS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/linux/icons/*-symbolic.svg)
  install(FILES ${QUORVEL_STATUS_ICONS} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/status
          COMPONENT app)
  file(COPY ${QUORVEL_STATUS_ICONS} DESTINATION ${CMAKE_BINARY_DIR}/share/icons/hicolor/scalable/status)
  install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/resources/linux/copyright
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel COMPONENT app)
  # The interface texts are compiled into the executable (":/i18n"); nothing else to install.

  if(TARGET quorvel_tools)
    foreach(tool sim_caffeinate sim_pmset sim_sudo sim_osascript sim_visudo sim_power)
      install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quorvel
              COMPONENT sim EXCLUDE_FROM_ALL)
    endforeach()
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL app sim)
  set(CPACK_DEBIAN_APP_PACKAGE_NAME quorvel)
  set(CPACK_DEBIAN_APP_FILE_NAME "quorvel_${PROJECT_VERSION}-${quorvel_build_number}_amd64.deb")
  set(CPACK_DEBIAN_APP_PACKAGE_SECTION utils)
  # The real platform talks to logind and the desktop over the system and session buses; UPower
  # and power-profiles-daemon tell it about the battery and low-power mode where they are
  # installed. The stand-in tools are not needed: that is the quorvel-sim package.
  set(CPACK_DEBIAN_APP_PACKAGE_DEPENDS "dbus-daemon | dbus-broker, systemd | elogind")
  set(CPACK_DEBIAN_APP_PACKAGE_RECOMMENDS "upower, power-profiles-daemon, qt6-gtk-platformtheme")
  # On GNOME and other GTK desktops Qt learns the desktop's interface font (and colours) only
  # through the GTK theme plugin recommended above; without it the windows fall back to a generic sans-serif.
  set(CPACK_DEBIAN_SIM_PACKAGE_NAME quorvel-sim)
  set(CPACK_DEBIAN_SIM_FILE_NAME "quorvel-sim_${PROJECT_VERSION}-${quorvel_build_number}_amd64.deb")
  set(CPACK_DEBIAN_SIM_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_SIM_PACKAGE_DEPENDS "sudo")
  set(CPACK_COMPONENT_SIM_DESCRIPTION "Stand-in caffeinate, pmset, sudo and osascript for Quorvel's simulated platform.\n These let Quorvel run and be tried on a machine that is not a Mac; they touch only a sandbox folder.")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorvel <hello@quorvel.app>")
  set(CPACK_DEBIAN_PACKAGE_RELEASE ${quorvel_build_number})
endif()

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR Quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quorvel <hello@quorvel.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps the computer awake on request, from the menu bar or the tray")
set(CPACK_COMPONENT_APP_DESCRIPTION "Keeps the computer awake on request, from the menu bar or the tray.\n Idle-sleep prevention for a chosen time or indefinitely, keep-display-on, closed-lid mode with battery safety, and everything restored at quit.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quorvel.app/quorvel/")
include(CPack)
