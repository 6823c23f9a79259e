# OSC: the packet reader and writer, and the server over loopback UDP against the simulator.
oxs_add_test(tst_remote_osc SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_remote_osc.cpp LIBS oxs_remote oxs_sim TIMEOUT 60)
