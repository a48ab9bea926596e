# The cross build's tests: the pure computation (tables, decoders, encoders, the reader on
# memory files) and the platform names against the real headers, built with GoogleTest from its
# sources and run under Wine by scripts/wine_smoke.sh. Tests that drive the stand-in's devices or start programs stay on the
# native builds.
set(QZ_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${QZ_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(qz_test_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/support/test_support.cpp)
target_link_libraries(qz_test_support PUBLIC qz_engine qz_encoder gtest qz_options)

set(_pure_audio audio/audio_decode_test.cpp)
set(_pure_encoder
    encoder/audio_encoders_test.cpp
    encoder/component_colour_test.cpp
    encoder/dct_round_trip_test.cpp
    encoder/dor_round_trip_test.cpp
    encoder/krt_round_trip_test.cpp
    encoder/movie_writer_test.cpp
)
set(_pure_engine engine/reader_queue_test.cpp engine/reader_tracks_test.cpp)
set(_pure_video
    video/colour_tables_edges.cpp video/colour_tables_reference.cpp
    video/dct_bounds_test.cpp video/dct_fast_paths_test.cpp video/dct_toolkit_test.cpp
    video/dor_bitstream_test.cpp video/dor_bounds_test.cpp video/dor_fast_paths_test.cpp
    video/dsp_check_test.cpp
    video/dor_frame_test.cpp video/frame_decode_test.cpp
    video/krt_bounds_test.cpp video/krt_decoder_test.cpp video/krt_output_test.cpp
    video/type3_decoder_test.cpp video/type3_gamma_test.cpp video/type4_decoder_test.cpp)

set(_pure_platform_names platform_names/platform_names_test.cpp)

foreach(name audio encoder engine platform_names video)
    add_executable(test_${name} ${_pure_${name}})
    target_link_libraries(test_${name} PRIVATE qz_test_support gtest_main)
    # M_PI and friends, which glibc declares in C++ too.
    target_compile_definitions(test_${name} PRIVATE _USE_MATH_DEFINES)
endforeach()
