target_sources(quillon_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/FreeRunHandlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimeEditorHandlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TimerUploadHandlers.cpp
)
