# The devices beside the AT device, each behind the device source seam.
add_library(dekoder_devices STATIC
    DeviceSource.h
    DeviceSources.cpp
    FlipperSource.h
    FlipperSource.cpp
    LircSource.h
    LircSource.cpp
    UniqueFd.h
)
target_include_directories(dekoder_devices PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(dekoder_devices PUBLIC dekoder_serial_line Qt6::Core)
