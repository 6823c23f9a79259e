# The web remote's page in headless chromium (skipped without it).
oxs_add_test(tst_remote_web SOURCES tst_remote_web.cpp LIBS oxs_remote oxs_sim TIMEOUT 60)
set_tests_properties(tst_remote_web PROPERTIES LABELS browser)
