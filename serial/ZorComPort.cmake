# The port component and its worker thread.
find_package(Threads REQUIRED)
add_library(dekoder_serial STATIC
    ATCommands.h
    ATCommands.cpp
    ZorComFraming.h
    ZorComFraming.cpp
    ZorComMainCall.h
    ZorComMainCall.cpp
    ZorComThread.h
    ZorComThread.cpp
    ZorComPort.h
    ZorComPort.cpp
)
target_include_directories(dekoder_serial PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(dekoder_serial PUBLIC dekoder_serial_line dekoder_settings Qt6::Core
    Threads::Threads)
