# The tempo map the music device seeks by, on any bytes.
murmel_fuzz_target(midi_tempo murmel_platform_audio)
