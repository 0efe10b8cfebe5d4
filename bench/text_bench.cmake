add_executable(text_bench text_bench.cpp)
target_link_libraries(text_bench PRIVATE melodrin::text benchmark::benchmark)
