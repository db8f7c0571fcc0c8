# Sound files that tests/data's scripts make at test time with Debian's encoders, into
# testdata/<folder> of the build tree. Every tree that runs tests over them (native,
# win32, tsan) declares the fixture by its name alone, so the script and the folder
# behind a name are the same wherever it is used.
function(tonvane_test_data fixture)
  set(mp3_test_data make-audio mp3)
  set(stream_audio_data make-stream-audio stream)
  set(tagged_audio_data make-tagged-audio tagged)
  if(NOT DEFINED ${fixture})
    message(FATAL_ERROR "tonvane_test_data: no test data named ${fixture}")
  endif()
  list(GET ${fixture} 0 script)
  list(GET ${fixture} 1 folder)
  # Each tree makes its own copy, under a test name of its own: scripts/test runs the
  # trees as one CTest run, where tests of one name would stand for each other, and a
  # tree's tests could start once another tree's data was made.
  get_filename_component(tree ${CMAKE_BINARY_DIR} NAME)
  add_test(NAME ${fixture}_${tree}
           COMMAND ${PROJECT_SOURCE_DIR}/tests/data/${script} ${CMAKE_BINARY_DIR}/testdata/${folder})
  set_tests_properties(${fixture}_${tree} PROPERTIES FIXTURES_SETUP ${fixture})
endfunction()
