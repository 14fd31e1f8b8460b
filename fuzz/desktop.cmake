# The user's mimeapps.list, whatever it holds, through our edits of it.
murmel_fuzz_target(mimeapps_list murmel_platform_desktop)
