set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
  ${_d}/crc.cpp ${_d}/crc.h ${_d}/hexdigit.h
  ${_d}/frames.cpp ${_d}/frames.h
  ${_d}/replyparser.cpp ${_d}/replyparser.h
  ${_d}/rtuframer.cpp ${_d}/rtuframer.h
  ${_d}/rtuclient.cpp ${_d}/rtuclient.h
)
target_sources(kestrune_ui PRIVATE
  ${_d}/relay_receive.cpp
  ${_d}/relay_board.cpp
)
