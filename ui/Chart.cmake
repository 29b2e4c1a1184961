# The chart view with its protocol annotation, the pictures and the JPEG decoder (target
# dekoder_chart).

# QCustomPlot's imported target names Qt6::PrintSupport in its link interface; it must be visible
# wherever that target is linked, hence GLOBAL.
if(NOT TARGET Qt6::PrintSupport)
    find_package(Qt6 6.4 REQUIRED COMPONENTS PrintSupport GLOBAL)
endif()
find_package(Qt6 6.4 REQUIRED COMPONENTS Svg)
add_library(dekoder_chart STATIC
    ChartView.h
    ChartView.cpp
    ChartGeometry.h
    ChartGeometry.cpp
    AnnotationLayout.h
    AnnotationLayout.cpp
    DecodeOverlay.h
    DecodeOverlay.cpp
    FrameCleanUp.h
    FrameCleanUp.cpp
    JpegImage.h
    JpegImage.cpp
    Pictures.h
    Pictures.cpp
    pictures.qrc
)
set_target_properties(dekoder_chart PROPERTIES AUTOMOC ON AUTORCC ON)
target_include_directories(dekoder_chart PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(dekoder_chart
    PUBLIC dekoder_frame dekoder_analysis Qt6::Widgets QCustomPlotQt6::QCustomPlotQt6
    PRIVATE JPEG::JPEG Qt6::Svg)
