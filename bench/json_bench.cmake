add_executable(json_bench json_bench.cpp)
target_link_libraries(json_bench PRIVATE melodrin::json benchmark::benchmark)
