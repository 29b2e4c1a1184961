# The main window and the C table window (target dekoder_ui).
add_library(dekoder_ui STATIC
    Unit1.h
    Unit1.cpp
    Unit1.ui
    frmCodeCu.h
    frmCodeCu.cpp
    frmCodeCu.ui
    DecodeMenu.h
    DecodeMenu.cpp
    FormSeams.h
    FormSeams.cpp
    FontFallbacks.h
    FontFallbacks.cpp
    RememberedFolders.h
    RememberedFolders.cpp
    RightAnchors.h
    RightAnchors.cpp
    StatusPanels.h
    StatusPanels.cpp
    PortComboBox.h
    PortComboBox.cpp
    PortDiagnosis.h
    PortDiagnosis.cpp
    PortHintView.h
    PortHintView.cpp
    DeviceLink.h
    DeviceLink.cpp
    FrameHistory.h
    FrameHistory.cpp
    HistoryPanel.h
    HistoryPanel.cpp
    CompareOverlay.h
    CompareOverlay.cpp
    SignalFiles.h
    SignalFiles.cpp
    HistoryKeeper.h
    HistoryKeeper.cpp
    ViewHold.h
    ViewHold.cpp
    FrameComparison.h
    FrameComparison.cpp
    ImportExport.h
    ImportExport.cpp
    FrameWorkbench.h
    FrameWorkbench.cpp
)
set_target_properties(dekoder_ui PROPERTIES AUTOMOC ON AUTOUIC ON)
target_include_directories(dekoder_ui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(dekoder_ui
    PUBLIC dekoder_chart dekoder_frame dekoder_analysis dekoder_serial dekoder_devices dekoder_settings_widgets Qt6::Widgets)
