# Tests of the port component and its worker.
dekoder_add_test(zor_com_framing_test MAIN plain
    SOURCES zor_com_framing_test.cpp
    LIBS dekoder_serial
    LABELS serial)
dekoder_add_test(zor_com_port_test MAIN core
    SOURCES zor_com_port_test.cpp ZorComFakeDriver.h ZorComTestSupport.h
    LIBS dekoder_serial
    LABELS serial)
if(TARGET irsim_lib)
    dekoder_add_test(zor_com_sim_test MAIN core
        SOURCES zor_com_sim_test.cpp ZorComTestSupport.h
        LIBS dekoder_serial irsim_lib
        LABELS serial)
endif()
dekoder_add_test(lirc_source_test MAIN core
    SOURCES lirc_source_test.cpp LircTestSupport.h ZorComTestSupport.h
    LIBS dekoder_devices dekoder_serial
    LABELS serial)
