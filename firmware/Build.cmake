# Builds the device's firmware as a project of its own (it needs the AVR cross compiler) and, when
# simavr's library is there, the host programs that run it in a simulated ATmega328P. Without
# gcc-avr both are skipped.
find_program(DEKODER_AVR_GXX avr-g++)
find_program(DEKODER_AVR_OBJCOPY avr-objcopy)
find_program(DEKODER_AVR_SIZE avr-size)
if(NOT DEKODER_AVR_GXX OR NOT DEKODER_AVR_OBJCOPY)
    message(STATUS "Firmware skipped: avr-g++ not found (Debian packages gcc-avr avr-libc)")
    return()
endif()

include(ExternalProject)
set(DEKODER_FIRMWARE_DIR ${PROJECT_BINARY_DIR}/firmware-avr)
set(DEKODER_FIRMWARE_ELF ${DEKODER_FIRMWARE_DIR}/dekoder-firmware.elf)
ExternalProject_Add(dekoder_firmware
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/firmware
    BINARY_DIR ${DEKODER_FIRMWARE_DIR}
    CMAKE_ARGS
        -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/firmware/cmake/avr-gcc.cmake
        -DCMAKE_BUILD_TYPE=MinSizeRel
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${DEKODER_FIRMWARE_ELF} ${DEKODER_FIRMWARE_DIR}/dekoder-firmware.hex)

find_path(DEKODER_SIMAVR_INCLUDE sim_avr.h PATH_SUFFIXES simavr)
find_library(DEKODER_SIMAVR_LIBRARY simavr)
if(NOT DEKODER_SIMAVR_INCLUDE OR NOT DEKODER_SIMAVR_LIBRARY)
    message(STATUS "Firmware simulator skipped: simavr not found (Debian package libsimavr-dev)")
    return()
endif()
set(DEKODER_HAVE_SIMAVR ON)
add_subdirectory(firmware/sim)
