# Tests of the line driver and the port list.
