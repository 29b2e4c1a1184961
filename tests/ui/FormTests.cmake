# Tests of the windows and of start-up.
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
set(_form_test_libs dekoder_ui irsim_lib test_support_qt Qt6::Test)

dekoder_add_test(form_main_window_test MAIN gui
    SOURCES form_main_window_test.cpp FormTestSupport.h
    LIBS ${_form_test_libs})
dekoder_add_test(form_frame_commands_test MAIN gui
    SOURCES form_frame_commands_test.cpp FormTestSupport.h
    LIBS ${_form_test_libs})
dekoder_add_test(app_startup_test MAIN plain
    SOURCES app_startup_test.cpp FormTestSupport.h
    LIBS dekoder_app ${_form_test_libs})
dekoder_add_test(form_history_test MAIN gui
    SOURCES form_history_test.cpp FormTestSupport.h
    LIBS ${_form_test_libs})
dekoder_add_test(form_flipper_test MAIN gui
    SOURCES form_flipper_test.cpp FormTestSupport.h
    LIBS ${_form_test_libs})
dekoder_add_test(form_decode_test MAIN gui
    SOURCES form_decode_test.cpp FormTestSupport.h
    LIBS ${_form_test_libs})
dekoder_add_test(form_lirc_test MAIN gui
    SOURCES form_lirc_test.cpp FormTestSupport.h
    LIBS ${_form_test_libs})
