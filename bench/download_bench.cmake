# Needs the loopback server that the tests build.
if(TARGET melodrin::test_server AND TARGET melodrin::wininet)
  add_executable(download_bench download_bench.cpp)
  target_link_libraries(download_bench PRIVATE
    melodrin::wininet melodrin::test_server benchmark::benchmark)
endif()
