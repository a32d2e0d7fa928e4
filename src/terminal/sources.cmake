set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
  ${_d}/receiveformat.cpp ${_d}/receiveformat.h
  ${_d}/sendbox.cpp ${_d}/sendbox.h
  ${_d}/terminalfiles.cpp ${_d}/terminalfiles.h
  ${_d}/filesender.cpp ${_d}/filesender.h
)
target_sources(kestrune_ui PRIVATE
  ${_d}/relay_send.cpp
)
