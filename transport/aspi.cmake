# The ASPI transport and the dynamic caller it reaches its library through. Included by this
# folder's CMakeLists.txt.
target_sources(brindle_transport PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/clsCDECL.cpp
  ${CMAKE_CURRENT_LIST_DIR}/clsASPI.cpp)
