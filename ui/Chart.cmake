# The chart view, the pictures and the JPEG decoder (target dekoder_chart).
