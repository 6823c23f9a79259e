# The HTTP and WebSocket server on loopback sockets against the simulator (one case waits out a 2 s write).
oxs_add_test(tst_remote_http SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_remote_http.cpp LIBS oxs_remote oxs_sim TIMEOUT 60)
