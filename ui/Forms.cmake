# The main window and the C table window (target dekoder_ui).
