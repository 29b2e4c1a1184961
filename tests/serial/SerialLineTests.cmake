# Tests of the line driver and the port list.
set(_dir ${CMAKE_CURRENT_LIST_DIR})
dekoder_add_test(serial_line_util_test MAIN plain
    SOURCES ${_dir}/serial_line_util_test.cpp
    LIBS dekoder_serial_line)
dekoder_add_test(serial_line_settings_test MAIN plain
    SOURCES ${_dir}/serial_line_settings_test.cpp
    LIBS dekoder_serial_line)
dekoder_add_test(serial_line_port_hints_test MAIN plain
    SOURCES ${_dir}/port_hints_test.cpp
    LIBS dekoder_serial_line)
dekoder_add_test(serial_line_pty_test MAIN plain
    SOURCES ${_dir}/serial_line_pty_test.cpp ${_dir}/serial_line_pty.h ${_dir}/serial_line_pty.cpp
    LIBS dekoder_serial_line)
dekoder_add_test(enum_com_ports_test MAIN plain
    SOURCES ${_dir}/enum_com_ports_test.cpp
    LIBS dekoder_serial_line)
dekoder_add_test(lirc_device_test MAIN plain
    SOURCES ${_dir}/lirc_device_test.cpp ${_dir}/LircTestSupport.h
    LIBS dekoder_serial_line)
dekoder_add_test(lirc_ports_test MAIN plain
    SOURCES ${_dir}/lirc_ports_test.cpp
    LIBS dekoder_serial_line)
