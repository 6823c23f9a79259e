# The File menu's scaler settings files. Until the window library carries the menu, the test builds it.
set(_oxs_scaler_settings_sources "")
get_target_property(_oxs_ui_main_sources oxs_ui_main SOURCES)
if(NOT "ScalerSettingsMenu.cpp" IN_LIST _oxs_ui_main_sources)
  set(_oxs_scaler_settings_sources
    ${PROJECT_SOURCE_DIR}/ui/main/ScalerSettingsMenu.h ${PROJECT_SOURCE_DIR}/ui/main/ScalerSettingsMenu.cpp
    ${PROJECT_SOURCE_DIR}/ui/main/ScalerSettingsDlg.h ${PROJECT_SOURCE_DIR}/ui/main/ScalerSettingsDlg.cpp)
endif()
oxs_add_test(tst_scaler_settings SOURCES tst_scaler_settings.cpp SimWindowFixture.h WindowFixture.h
  ${_oxs_scaler_settings_sources} LIBS oxs_ui_main oxs_control oxs_sim util)
if(_oxs_scaler_settings_sources)
  target_include_directories(tst_scaler_settings PRIVATE ${PROJECT_SOURCE_DIR}/ui/main)
endif()
