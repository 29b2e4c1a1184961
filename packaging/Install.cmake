# The desktop entry and its icon, installed with the program by `cmake --install`.
include(GNUInstallDirs)

install(FILES ${CMAKE_CURRENT_LIST_DIR}/dekoder-ir.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(_dekoder_icon ${PROJECT_SOURCE_DIR}/ui/images/dekoder-ir.png)
if(EXISTS ${_dekoder_icon})
    install(FILES ${_dekoder_icon}
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps)
endif()

# The device simulator goes with the program: users try the program without hardware with it.
install(TARGETS irsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
