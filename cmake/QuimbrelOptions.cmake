# Compiler settings shared by every target: C++20 and the warning set, carried by one INTERFACE target.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_C_STANDARD 11)

add_library(quimbrel_options INTERFACE)
target_compile_features(quimbrel_options INTERFACE cxx_std_20)
target_compile_options(quimbrel_options INTERFACE
  -Wall -Wextra -Wpedantic
  $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast -Wnon-virtual-dtor -Wshadow>)
if(QUIMBREL_WERROR)
  target_compile_options(quimbrel_options INTERFACE -Werror)
endif()

# Qt targets additionally refuse implicit conversions from 8-bit strings.
add_library(quimbrel_qt_options INTERFACE)
target_link_libraries(quimbrel_qt_options INTERFACE quimbrel_options)
target_compile_definitions(quimbrel_qt_options INTERFACE QT_NO_CAST_FROM_ASCII)
