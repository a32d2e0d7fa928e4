set(_d ${CMAKE_CURRENT_LIST_DIR})
target_sources(kestrune_core PRIVATE
  ${_d}/serialport.cpp ${_d}/serialport.h
  ${_d}/qtserialport.cpp ${_d}/qtserialport.h
  ${_d}/portresolver.cpp ${_d}/portresolver.h
  ${_d}/portsettings.cpp ${_d}/portsettings.h
)
target_sources(kestrune_ui PRIVATE
  ${_d}/relay_port.cpp
)
