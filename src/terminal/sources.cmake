set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
  ${_d}/receiveformat.cpp ${_d}/receiveformat.h
)
target_sources(kestrune_ui PRIVATE
  ${_d}/relay_send.cpp
)
