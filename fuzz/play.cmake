# The RIFF chunk walk on any bytes.
murmel_fuzz_target(riff_read murmel_platform_audio)

# The voice device on any file: RIFF walk, PCM conversion and the MPEG decoder.
murmel_fuzz_target(voice_open murmel_platform_audio)

# Telling voice mails, RIFF WAVE and MPEG audio apart by their bytes.
murmel_fuzz_target(recording_kind murmel_player_core)
