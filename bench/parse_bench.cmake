# Needs the program's library and the loopback server that the tests build.
if(TARGET melodrin::app_core AND TARGET melodrin::test_server AND TARGET melodrin)
  add_executable(parse_bench parse_bench.cpp)
  target_link_libraries(parse_bench PRIVATE
    melodrin::app_core melodrin::winhttp melodrin::test_server benchmark::benchmark)
endif()
