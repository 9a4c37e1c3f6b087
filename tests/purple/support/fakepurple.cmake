# The fake libpurple client and what starts it, shared by the tests and the benchmarks.
include_guard(GLOBAL)
find_package(Qt5 5.15 REQUIRED COMPONENTS Core DBus)

add_executable(fake_purple ${CMAKE_CURRENT_LIST_DIR}/fakepurple.cpp)
target_link_libraries(fake_purple PRIVATE Qt5::Core Qt5::DBus)

add_library(zelmo_fake_purple_support STATIC
    ${CMAKE_CURRENT_LIST_DIR}/privatebus.cpp ${CMAKE_CURRENT_LIST_DIR}/privatebus.h
    ${CMAKE_CURRENT_LIST_DIR}/fakepurpleservice.cpp ${CMAKE_CURRENT_LIST_DIR}/fakepurpleservice.h)
target_include_directories(zelmo_fake_purple_support PUBLIC ${ZELMO_SOURCE_ROOT}/tests)
target_link_libraries(zelmo_fake_purple_support PUBLIC Qt5::Core Qt5::DBus)
target_compile_definitions(zelmo_fake_purple_support
    PRIVATE ZELMO_FAKE_PURPLE="$<TARGET_FILE:fake_purple>")
# Whatever links this starts the fake: it is built first.
add_dependencies(zelmo_fake_purple_support fake_purple)
