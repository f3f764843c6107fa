target_sources(quillon_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DeviceConnectionHandlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LinkExerciseHandlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TranscriptHandlers.cpp
)
