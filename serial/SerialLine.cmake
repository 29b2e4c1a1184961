add_library(dekoder_serial_line STATIC
    SerialErrors.h
    SerialDriver.h
)
set_target_properties(dekoder_serial_line PROPERTIES LINKER_LANGUAGE CXX)
target_include_directories(dekoder_serial_line PUBLIC ${PROJECT_SOURCE_DIR})
