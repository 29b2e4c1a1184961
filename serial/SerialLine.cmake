# The line driver, its text and time helpers and the port list (no Qt). SerialPlatform.cpp is the
# only source that includes the kernel's terminal headers, LircKernel.cpp the only one that includes
# the kernel's LIRC header.
set(_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(dekoder_serial_line STATIC
    ${_dir}/SerialErrors.h
    ${_dir}/SerialDriver.h
    ${_dir}/SerialUtil.h
    ${_dir}/SerialUtil.cpp
    ${_dir}/PortHints.h
    ${_dir}/PortHints.cpp
    ${_dir}/SerialPlatform.h
    ${_dir}/SerialPlatform.cpp
    ${_dir}/SerialLine.h
    ${_dir}/SerialLine.cpp
    ${_dir}/EnumComPorts.h
    ${_dir}/EnumComPorts.cpp
    ${_dir}/PortHolders.h
    ${_dir}/PortHolders.cpp
    ${_dir}/UniqueFd.h
    ${_dir}/LircSamples.h
    ${_dir}/LircSamples.cpp
    ${_dir}/LircDevice.h
    ${_dir}/LircDevice.cpp
    ${_dir}/LircKernel.cpp
    ${_dir}/LircPorts.h
    ${_dir}/LircPorts.cpp
)
target_include_directories(dekoder_serial_line PUBLIC ${PROJECT_SOURCE_DIR})
