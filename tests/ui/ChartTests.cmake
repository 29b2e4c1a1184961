# Tests of the chart view, its geometry, the pictures and the JPEG decoder.
dekoder_add_test(chart_geometry_test MAIN plain
    SOURCES chart_geometry_test.cpp
    LIBS dekoder_chart)
dekoder_add_test(chart_jpeg_test MAIN plain
    SOURCES chart_jpeg_test.cpp
    LIBS dekoder_chart JPEG::JPEG)
dekoder_add_test(chart_view_test MAIN gui
    SOURCES chart_view_test.cpp chart_pictures_test.cpp
    LIBS dekoder_chart)
dekoder_add_test(annotation_layout_test MAIN plain
    SOURCES annotation_layout_test.cpp
    LIBS dekoder_chart)
