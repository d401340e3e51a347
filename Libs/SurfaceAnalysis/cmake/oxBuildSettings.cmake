# Compiler, dependencies and options shared by every target, whether Libs/SurfaceAnalysis is built
# on its own or as part of the whole tree.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_AUTOMOC ON)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# Debian's interpreter, not whatever python3 comes first on PATH.
if(NOT Python3_EXECUTABLE)
    set(Python3_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python3 3.11 REQUIRED COMPONENTS Interpreter Development)
find_package(Qt5 REQUIRED COMPONENTS Core Gui Widgets Test)
find_package(Boost 1.74 REQUIRED COMPONENTS python311)

option(OX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(OX_FUZZ "Build the libFuzzer targets (needs clang)" OFF)

add_compile_definitions(QT_NO_KEYWORDS)
add_compile_options(-Wall -Wextra)
if(OX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(OX_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "OX_FUZZ needs clang (CXX=clang++)")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# The sanitizers' suppressions of third-party noise.
set(OX_LSAN_SUPPRESSIONS ${CMAKE_CURRENT_LIST_DIR}/lsan.supp)

enable_testing()
include(${CMAKE_CURRENT_LIST_DIR}/oxTesting.cmake)
