# Sources of the module, by folder. The stand-in runtime is compiled only
# where the platform's own runtime is absent.
file(GLOB ORVANTA_RUNTIME_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/runtime/*.cpp)
if(NOT WIN32)
  file(GLOB ORVANTA_STANDIN_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/runtime/standin/*.cpp)
  list(APPEND ORVANTA_RUNTIME_SOURCES ${ORVANTA_STANDIN_SOURCES})
endif()
file(GLOB ORVANTA_DEFINITION_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/definition/*.cpp)
file(GLOB ORVANTA_FRAME_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/frame/*.cpp)
