# The track reader and the recording settings file.
tevo_add_fuzzer(NAME fuzz_load_track SOURCES fuzz_load_track.cpp LIBS tevo_logs)
tevo_add_fuzzer(NAME fuzz_recording_settings SOURCES fuzz_recording_settings.cpp LIBS tevo_logs)
