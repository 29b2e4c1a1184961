# Tests of the windows and of start-up.
