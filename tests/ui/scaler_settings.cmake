# The File menu's scaler settings files.
oxs_add_test(tst_scaler_settings SOURCES tst_scaler_settings.cpp SimWindowFixture.h WindowFixture.h
  LIBS oxs_ui_main oxs_sim util)
