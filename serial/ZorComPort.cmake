# The port component and its worker thread.
