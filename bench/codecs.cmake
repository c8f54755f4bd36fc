# Anchors for the "codecs" suite: zlib, libjpeg, and libpng/giflib where installed (test
# packages); without them the suite generates its pictures and skips those anchors.
find_package(PNG QUIET)
find_package(GIF QUIET)
target_link_libraries(lumivex-bench PRIVATE ZLIB::ZLIB lumivex_libjpeg_reference)
if(PNG_FOUND)
  target_link_libraries(lumivex-bench PRIVATE PNG::PNG)
  target_compile_definitions(lumivex-bench PRIVATE LUMIVEX_BENCH_LIBPNG)
endif()
if(GIF_FOUND)
  target_link_libraries(lumivex-bench PRIVATE GIF::GIF)
  target_compile_definitions(lumivex-bench PRIVATE LUMIVEX_BENCH_GIFLIB)
endif()
target_compile_definitions(lumivex-bench PRIVATE LUMIVEX_BENCH_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
