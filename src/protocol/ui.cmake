target_sources(quillon_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/CNdStepsDlg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CNdStepsDlg.h
  ${CMAKE_CURRENT_LIST_DIR}/ControllerHandlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PollReplies.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SendCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ShutterHandlers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SignalHandlers.cpp
)
