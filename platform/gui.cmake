# Window-system helpers shared by the stage, selection and opening windows: pictures
# loaded by Windows-style name, twips, "&" access-key captions, fonts, key codes
# and the timer.
add_library(platform_gui STATIC
  ${CMAKE_CURRENT_LIST_DIR}/picture.cpp ${CMAKE_CURRENT_LIST_DIR}/picture.h
  ${CMAKE_CURRENT_LIST_DIR}/twips.h
  ${CMAKE_CURRENT_LIST_DIR}/access_key.cpp ${CMAKE_CURRENT_LIST_DIR}/access_key.h
  ${CMAKE_CURRENT_LIST_DIR}/fonts.cpp ${CMAKE_CURRENT_LIST_DIR}/fonts.h
  ${CMAKE_CURRENT_LIST_DIR}/keys.cpp ${CMAKE_CURRENT_LIST_DIR}/keys.h
  ${CMAKE_CURRENT_LIST_DIR}/timer.cpp ${CMAKE_CURRENT_LIST_DIR}/timer.h
)
target_link_libraries(platform_gui PUBLIC platform Qt6::Widgets)
